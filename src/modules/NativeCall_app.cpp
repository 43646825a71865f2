#include "modules/NativeCall_app.h"

#include "base/Json.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "sys/FileIO.h"
#include "sys/Paths.h"
#include "sys/Settings.h"
#include "sys/SystemInfo.h"

namespace {
enum {
    StartEvent, GetEvent, Device, Version, Locale, Storage, Storage2, Clipboard, ImportFile,
    ExportFile, WebAuth, Control, Locate, DragDrop, DropFiles, Exit
};
}

NativeCall_app::NativeCall_app(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"startevent", "getevent", "device", "version", "locale", "storage", "storage2", "clipboard",
                  "importfile", "exportfile", "webauth", "control", "locate", "dragdrop", "dropfiles", "exit"});
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

void NativeCall_app::call(int function, const Args& args, CallResult& result) {
    JavaScriptInterface* controller = objects_->controller();
    switch (function) {
    case StartEvent:
        if (!args.empty()) controller->startEvent(toBool(args[0]));
        result.setBool(true);
        break;
    case GetEvent: result.setString(controller->takeEvent()); break;
    case Device: result.setString(deviceJson()); break;
    case Version: result.setString(versionJson()); break;
    case Locale: result.setString(userLocaleName()); break;
    case Storage: {
        Settings settings(controller->appName());
        if (args.empty())
            result.setString(settings.getString("pref").value_or(""));
        else
            settings.setString("pref", args[0]);
        break;
    }
    case Storage2: {
        result.setString("");
        if (args.empty() || !isPlainKey(args[0])) break;
        std::string path = storage2Path(args[0]);
        if (args.size() == 1) {
            std::string bytes;
            if (readWholeFile(path, bytes)) result.setString(utf8UpToZero(bytes));
        } else {
            // Whole or not at all: a value cut short by a full disk or a crash would read back
            // as a different value.
            writeFileAtomically(path, args[1]);
        }
        break;
    }
    case Clipboard:
        if (args.empty())
            result.setString(objects_->clipboard);
        else
            objects_->clipboard = args[0];
        break;
    case ImportFile:
    case ExportFile: break;
    case WebAuth: controller->openURL(args.at(0), args.size() > 1 ? args[1] : std::string()); break;
    case Control: controller->control(args.at(0)); break;
    case Locate: controller->navigate(args.at(0)); break;
    case DragDrop: controller->setDragDropEnabled(toBool(args.at(0))); break;
    case DropFiles: {
        Json list = Json::array();
        for (const auto& file : objects_->droppedFiles) list.push_back(file);
        result.setString(jsonText(list));
        break;
    }
    case Exit: controller->closeWindow(); break;
    }
}
