#include "modules/NativeCall_fs.h"

#include "sys/ZipArchive.h"
#include "bridge/CallOptions.h"
#include "base/Json.h"
#include "base/NativeException.h"
#include "modules/NativeObjects.h"
#include "base/Text.h"
#include "sys/Desktop.h"
#include "sys/DialogAnswers.h"
#include "sys/FileDialog.h"
#include "sys/FileIO.h"
#include "sys/FileListing.h"
#include "sys/FileOperations.h"
#include "sys/FreeSpace.h"
#include "base/MainThread.h"
#include "sys/MountTable.h"
#include "sys/Paths.h"
#include "sys/UserFolders.h"
#include "sys/VolumeLabels.h"
#include "sys/VolumeRemoval.h"

#include <gio/gio.h>
#include <strings.h>
#include <unistd.h>
#include <uuid/uuid.h>

namespace {

std::string argument(const Args& args, size_t index) { return index < args.size() ? args[index] : std::string(); }

Json entryJson(const FileFacts& facts) {
    return Json{{"name", facts.name}, {"size", facts.size}, {"directory", facts.directory}, {"readable", true},
                {"writable", facts.writable}, {"deletable", facts.writable}};
}

std::string folderPath(const std::string& where, const std::string& appName) {
    std::string key = where;
    for (char& c : key) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    static const std::pair<const char*, const char*> userDirs[] = {
        {"music", "XDG_MUSIC_DIR"}, {"movies", "XDG_VIDEOS_DIR"}, {"pictures", "XDG_PICTURES_DIR"}, {"downloads", "XDG_DOWNLOAD_DIR"}};
    if (key == "home") return withSlash(homeFolder());
    if (key == "temporary") return temporaryFolder();
    if (key == "bundle") return appDataFolder(appName);
    if (key == "library") {
        std::string folder = appDataFolder(appName) + "data";
        makeFolders(folder);
        return folder + "/";
    }
    for (const auto& dir : userDirs) {
        if (key == dir.first) {
            std::string folder = userFolder(dir.second);
            return withSlash(folder.empty() ? documentsFolder() : folder);
        }
    }
    return withSlash(documentsFolder());
}

std::string volumesJson() {
    std::vector<MountEntry> table;
    if (!readMountTable(table)) throw NativeException::fromErrno(errno);
    Json list = Json::array();
    for (const MountEntry& volume : userVolumes(table)) {
        Json entry{{"mount", withSlash(volume.mountPoint)}, {"volume", volumeLabel(volume.source)}};
        // Size and room left, for the page to show; left out when the volume cannot say.
        VolumeSpace space;
        if (volumeSpace(volume.mountPoint, space)) {
            entry["size"] = static_cast<double>(space.size);
            entry["free"] = static_cast<double>(space.free);
        }
        list.push_back(entry);
    }
    return jsonText(list);
}

Json contentsList(const std::string& folder, const std::string& extension) {
    Json list = Json::array();
    for (const FileFacts& facts : listFolder(folder, extension)) list.push_back(entryJson(facts));
    return list;
}

std::string contentsJson(const std::string& folder, const std::string& extension) {
    return jsonText(contentsList(folder, extension));
}

// Every sub-folder of a folder with its contents, by name; null for one that cannot be
// listed. A looper's hundreds of track folders come in one answer: a call per folder
// costs more than the reading.
std::string subcontentsJson(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    Json folders = Json::object();
    for (const FileFacts& entry : listFolder(folder, "")) {
        if (!entry.directory) continue;
        try {
            folders[entry.name] = contentsList(folder + entry.name, "");
        } catch (const std::exception&) {
            folders[entry.name] = nullptr;
        }
    }
    return jsonText(folders);
}

// A file path becomes a file:// address; an address stays as it is.
std::string addressOf(const std::string& target) {
    GFile* file = g_file_new_for_commandline_arg(target.c_str());
    gchar* uri = g_file_get_uri(file);
    std::string address = uri ? uri : target;
    g_free(uri);
    g_object_unref(file);
    return address;
}

bool endsWithZip(const std::string& name) {
    return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".zip") == 0;
}

// Releases the volume holding a path and reports how it went.
class UnmountTask : public Thread {
public:
    UnmountTask(JavaScriptInterface* controller, std::string path) : controller_(controller), path_(std::move(path)) {}
    void run() override {
        std::string reason = releaseVolume(path_);
        controller_->postEvent(reason.empty() ? makeEvent({"fs", "unmounted", path_})
                                              : makeEvent({"fs", "unmountfailed", path_, reason}));
    }

private:
    JavaScriptInterface* controller_;
    std::string path_;
};

// Mounts again a volume that UnmountTask only unmounted, and reports where it went.
class RemountTask : public Thread {
public:
    RemountTask(JavaScriptInterface* controller, std::string path) : controller_(controller), path_(std::move(path)) {}
    void run() override {
        std::string mountPoint;
        std::string reason = remountVolume(path_, mountPoint);
        controller_->postEvent(reason.empty() ? makeEvent({"fs", "mounted", path_, mountPoint})
                                              : makeEvent({"fs", "mountfailed", path_, reason}));
    }

private:
    JavaScriptInterface* controller_;
    std::string path_;
};

}  // namespace

NativeCall_fs::NativeCall_fs(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        {"separator", [this](const Args&, CallResult& result) { result.setString("/"); }},
        {"path", [this](const Args& args, CallResult& result) {
            result.setString(folderPath(args.at(0), objects_->controller()->appName()));
        }},
        {"volumes", [this](const Args&, CallResult& result) {
            if (!mountWatch_) {
                JavaScriptInterface* controller = objects_->controller();
                mountWatch_ = std::make_unique<MountWatch>(
                    [controller] { controller->postEvent(makeEvent({"fs", "volumeschanged"})); });
            }
            result.setString(volumesJson());
        }},
        {"contents", [this](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            result.setString(contentsJson(args.at(0), argument(args, 1)));
        }},
        {"stat", [this](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            result.setString(jsonText(entryJson(statEntry(args.at(0)))));
        }},
        {"exec", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            openWithDefaultHandler(addressOf(args.at(0)));
        }},
        {"mkdir", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            makeFolderTree(args.at(0));
        }},
        {"unlink", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            removeTree(args.at(0));
        }},
        {"copy", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 1));
            requireWholePath(argument(args, 0));
            copyFileNoReplace(args.at(0), args.at(1));
        }},
        {"move", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 1));
            requireWholePath(argument(args, 0));
            moveNoReplace(args.at(0), args.at(1));
        }},
        {"unzip", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 1));
            requireWholePath(argument(args, 0));
            unzip(args.at(0), args.at(1));
        }},
        {"readString", [this](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            result.setString(utf8UpToZero(readFileBytes(args.at(0), 0, -1)));
        }},
        {"readData", [this](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            int64_t offset = 0, length = -1;
            if (args.size() > 1 && !args[1].empty()) readRangeOption(args[1], offset, length);
            result.setString(hexEncode(readFileBytes(args.at(0), offset, length)));
        }},
        {"writeString", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            writeFileBytes(args.at(0), args.at(1), false);
        }},
        {"writeData", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            writeFileBytes(args.at(0), hexDecode(args.at(1)), false);
        }},
        {"appendString", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            writeFileBytes(args.at(0), args.at(1), true);
        }},
        {"appendData", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            writeFileBytes(args.at(0), hexDecode(args.at(1)), true);
        }},
        {"openfilename", [this](const Args& args, CallResult&) {
            showDialog(new OpenPanel(stringListOption(argument(args, 0)), argument(args, 1)), "openfilename");
        }},
        {"savefilename", [this](const Args& args, CallResult&) {
            showDialog(new SavePanel(argument(args, 0), argument(args, 1)), "savefilename");
        }},
        {"choosefolder", [this](const Args& args, CallResult&) {
            showDialog(new ChooseFolder(argument(args, 0)), "choosefolder");
        }},
        {"unmount", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            auto task = std::make_unique<UnmountTask>(objects_->controller(), args.at(0));
            if (task->start(false) == 0) throw NativeException::fromErrno(EAGAIN);
            objects_->addWorker(std::move(task));
        }},
        {"watch", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            FSEvent& watcher = objects_->fsEvent();
            if (args.at(0).empty())
                watcher.stop();
            else {
                // Watching starts when the page takes up a folder (a looper's tracks): what a
                // run that died in the middle of a copy left there goes first.
                removeStaleCopies(args[0]);
                watcher.watch(args[0]);
            }
        }},
        {"space", [this](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            SpaceFacts facts = spaceOf(args.at(0));
            result.setString(jsonText(Json{{"device", facts.device}, {"free", facts.free}, {"total", facts.total}}));
        }},
        {"leftovers", [this](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            // Copy temporaries of a dead run go at once (this process's own copies stay); the
            // rest of Tarn's hidden files are listed for the page to judge.
            removeStaleCopies(args.at(0));
            Json list = Json::array();
            for (const std::string& path : filesNamedWith(args[0], ".tarn-")) list.push_back(path);
            result.setString(jsonText(list));
        }},
        {"subcontents", [](const Args& args, CallResult& result) {
            requireWholePath(argument(args, 0));
            result.setString(subcontentsJson(args.at(0)));
        }},
        {"mount", [this](const Args& args, CallResult&) {
            requireWholePath(argument(args, 0));
            auto task = std::make_unique<RemountTask>(objects_->controller(), args.at(0));
            if (task->start(false) == 0) throw NativeException::fromErrno(EAGAIN);
            objects_->addWorker(std::move(task));
        }},
        // As openfilename, for several files at once: the event carries a JSON array of paths.
        {"openfilenames", [this](const Args& args, CallResult&) {
            showDialog(new OpenPanel(stringListOption(argument(args, 0)), argument(args, 1), true), "openfilenames");
        }},
    });
}

NativeCall_fs::~NativeCall_fs() { *alive_ = false; }

// What the page's own chooser needs to stand in for a dialog: its kind (the answer's
// event), the folder to start in, the extensions of an open dialog, the name and
// extension of a save dialog.
std::string chooserRequest(const FileDialog& dialog, const std::string& kind) {
    Json request{{"kind", kind}, {"folder", dialog.startFolder()}};
    if (const auto* open = dynamic_cast<const OpenPanel*>(&dialog)) request["extensions"] = open->extensions();
    if (const auto* save = dynamic_cast<const SavePanel*>(&dialog)) {
        request["name"] = save->proposedName();
        request["extension"] = save->extension();
    }
    return jsonText(request);
}

// The dialog shows on the main loop after this call has returned; its answer becomes the
// event. Where no window can be shown (no display: the headless host), the page is
// asked to show its own chooser ("choose"), which answers with the same event.
void NativeCall_fs::showDialog(FileDialog* dialog, const char* event) {
    std::unique_ptr<FileDialog> request(dialog);
    std::weak_ptr<bool> alive = alive_;
    JavaScriptInterface* controller = objects_->controller();
    std::string name = event;
    auto held = std::make_shared<std::unique_ptr<FileDialog>>(std::move(request));
    runOnMainThread([alive, controller, name, held]() {
        if (alive.expired()) return;
        if (!dialogAnswersConfigured() && !FileDialog::canShowWindow()) {
            controller->postEvent(makeEvent({"fs", "choose", chooserRequest(**held, name)}));
            return;
        }
        FileDialog::show(held->release(), controller->mainWindow(), [alive, controller, name](const std::string& path) {
            if (!alive.expired()) controller->postEvent(makeEvent({"fs", name, path}));
        });
    });
}

// Unpacks with libzip; an archive whose name does not end in ".zip" is unpacked from a
// temporary copy that carries that ending, deleted afterwards.
void NativeCall_fs::unzip(const std::string& archive, const std::string& folder) {
    std::string source = archive, temporary;
    if (!endsWithZip(archive)) {
        uuid_t id;
        char text[37];
        uuid_generate(id);
        uuid_unparse_lower(id, text);
        temporary = temporaryFolder() + "corvane.tmp." + text + ".zip";
        try {
            copyFileNoReplace(archive, temporary);
            source = temporary;
        } catch (const NativeException&) {
            temporary.clear();  // unpack the archive under its own name
        }
    }
    if (access(source.c_str(), R_OK) != 0) throw NativeException::fromErrno(errno);
    if (!isRegularFile(source)) throw NativeException::fromErrno(errno);  // a FIFO would block
    bool ok = unpackZipInto(source, withoutTrailingSlashes(folder));
    if (!temporary.empty()) unlink(temporary.c_str());
    if (!ok) throw NativeException("The archive could not be unpacked into the folder");
}

void _FSEventDelegate::changed(const std::vector<std::string>& folders) {
    Json list = Json::array();
    for (const std::string& folder : folders) list.push_back(folder);
    controller_->postEvent(makeEvent({"fs", "watch", jsonText(list)}));
}
