#include "modules/NativeCall_app.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "sys/FileIO.h"
#include "sys/Paths.h"
#include "sys/Settings.h"
#include "sys/SystemInfo.h"

NativeCall_app::NativeCall_app(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"startevent", [this](const Args& args, CallResult& result) {
            JavaScriptInterface* controller = objects_->controller();
            if (!args.empty()) controller->startEvent(toBool(args[0]));
            result.setBool(true);
        }},
        {"getevent", [this](const Args&, CallResult& result) {
            result.setString(objects_->controller()->takeEvent());
        }},
        {"device", [this](const Args&, CallResult& result) { result.setString(deviceJson()); }},
        {"version", [this](const Args&, CallResult& result) { result.setString(versionJson()); }},
        {"locale", [this](const Args&, CallResult& result) { result.setString(userLocaleName()); }},
        {"storage", [this](const Args& args, CallResult& result) {
            JavaScriptInterface* controller = objects_->controller();
            Settings settings(controller->appName());
            if (args.empty())
                result.setString(settings.getString("pref").value_or(""));
            else
                settings.setString("pref", args[0]);
        }},
        {"storage2", [this](const Args& args, CallResult& result) {
            result.setString("");
            if (args.empty() || !isPlainKey(args[0])) return;
            std::string path = storage2Path(args[0]);
            if (args.size() == 1) {
                std::string bytes;
                if (readWholeFile(path, bytes)) result.setString(utf8UpToZero(bytes));
            } else {
                // Whole or not at all: a value cut short by a full disk or a crash would read back
                // as a different value.
                writeFileAtomically(path, args[1]);
            }
        }},
        {"clipboard", [this](const Args& args, CallResult& result) {
            if (args.empty())
                result.setString(objects_->clipboard);
            else
                objects_->clipboard = args[0];
        }},
        {"importfile", [](const Args&, CallResult&) {}},
        {"exportfile", [](const Args&, CallResult&) {}},
        {"webauth", [this](const Args& args, CallResult&) {
            objects_->controller()->openURL(args.at(0), args.size() > 1 ? args[1] : std::string());
        }},
        {"control", [this](const Args& args, CallResult&) { objects_->controller()->control(args.at(0)); }},
        {"locate", [this](const Args& args, CallResult&) { objects_->controller()->navigate(args.at(0)); }},
        {"dragdrop", [this](const Args& args, CallResult&) {
            objects_->controller()->setDragDropEnabled(toBool(args.at(0)));
        }},
        {"dropfiles", [this](const Args&, CallResult& result) {
            Json list = Json::array();
            for (const auto& file : objects_->droppedFiles) list.push_back(file);
            result.setString(jsonText(list));
        }},
        {"exit", [this](const Args&, CallResult&) { objects_->controller()->closeWindow(); }},
    });
}

std::string NativeCall_app::deviceJson() {
    Settings shared("");
    std::string id;
    if (auto stored = shared.getString("deviceId")) {
        id = *stored;
    } else {
        id = newUuid();
        shared.setString("deviceId", id);
    }
    return "{\"model\":" + jsonQuote(machineModel()) + ",\"os\":" + jsonQuote(operatingSystemName()) +
           ",\"id\":" + jsonQuote(id) + "}";
}

std::string NativeCall_app::versionJson() {
    std::string created, modified;
    executableTimes(created, modified);
    return "{\"name\":" + jsonQuote(programVersion()) + ",\"code\":" + std::to_string(programVersionCode()) +
           ",\"ctime\":" + jsonQuote(created) + ",\"mtime\":" + jsonQuote(modified) + "}";
}

bool NativeCall_app::isPlainKey(const std::string& key) {
    return !key.empty() && key != "." && key != ".." && key.find('/') == std::string::npos &&
           key.find('\0') == std::string::npos;
}

std::string NativeCall_app::storage2Path(const std::string& key) const {
    std::string folder = appDataFolder(objects_->controller()->appName()) + "pref";
    makeFolders(folder);
    return folder + "/" + key;
}

std::string NativeCall_app::commandEvent(const std::string& verb, const std::string& argument) {
    return makeEvent({"app", "command", verb, argument});
}

std::string NativeCall_app::frameMessageEvent(const std::string& frameName, const std::string& text) {
    return makeEvent({"app", "iframe", frameName, text});
}
