#pragma once

#include "base/Thread.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

// Told about the folders in which something was modified, once per batch.
class FSEventDelegate {
public:
    virtual ~FSEventDelegate() = default;
    virtual void changed(const std::vector<std::string>& folders) = 0;
};

// Watches a folder tree with inotify (subfolders made later included) and reports the
// folders in which files were modified: a file written or its attributes changed counts
// for its folder; a subfolder whose entries were added, removed or renamed counts itself,
// as does a subfolder whose attributes changed. Reports come in batches, once 500 ms
// have passed without news, each folder once, in the order first seen, each ending in
// "/". The delegate is called on the watcher's thread.
class FSEvent : public Thread {
public:
    explicit FSEvent(FSEventDelegate* delegate);
    ~FSEvent() override;

    // Stops any watch in progress, then watches folder. False (and idle) when the
    // folder cannot be watched.
    bool watch(const std::string& folder);
    // Stops the watch in progress, if any; returns once the thread has ended.
    void stop();
    bool watching() const { return inotify_ >= 0; }
    const std::string& basePath() const { return base_; }

    void run() override;

private:
    bool addTree(const std::string& folder);
    void handleEvents(const char* buffer, size_t length);
    void note(const std::string& folder);

    FSEventDelegate* delegate_;
    int inotify_ = -1;
    int stopEvent_ = -1;
    std::string base_;
    std::map<int, std::string> folders_;  // watch descriptor -> folder path ending in "/"
    std::vector<std::string> pending_;
};
