#pragma once

#include "bridge/NativeCall.h"
#include "sys/FSEvent.h"
#include "sys/MountWatch.h"

#include <memory>

class JavaScriptInterface;

// The "fs" module: paths, volumes, listings, file I/O, file operations, safe removal,
// the folder watcher and the file dialogs. The work is done in src/sys; this class turns
// bridge arguments into those calls and their outcomes into results and events.
class NativeCall_fs : public NativeCall {
public:
    explicit NativeCall_fs(NativeObjects* objects);
    ~NativeCall_fs() override;
    std::string moduleName() const override { return "fs"; }

private:
    void unzip(const std::string& archive, const std::string& folder);
    void showDialog(class FileDialog* dialog, const char* event);

    // Dialog answers arrive on the main loop later; they are dropped once the module is gone.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Started by the first volume listing: from then on a change of the volumes is
    // told at once ("volumeschanged"), so the page need not wait for its next look.
    std::unique_ptr<MountWatch> mountWatch_;
};

// Turns the watcher's batches into "watch" events with the folders as a JSON array.
class _FSEventDelegate : public FSEventDelegate {
public:
    explicit _FSEventDelegate(JavaScriptInterface* controller) : controller_(controller) {}
    void changed(const std::vector<std::string>& folders) override;

private:
    JavaScriptInterface* controller_;
};
