#include "sys/FSEvent.h"

#include <algorithm>
#include <dirent.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const uint32_t kFolderMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                             IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR | IN_DONT_FOLLOW;
const int kQuietMs = 500;

std::string withSlash(const std::string& path) { return path.empty() || path.back() == '/' ? path : path + "/"; }

}  // namespace

FSEvent::FSEvent(FSEventDelegate* delegate) : delegate_(delegate) {}

FSEvent::~FSEvent() { stop(); }

bool FSEvent::watch(const std::string& folder) {
    stop();
    if (folder.empty()) return false;
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) return false;
    stopEvent_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    base_ = withSlash(folder);
    if (stopEvent_ < 0 || !addTree(base_)) {
        stop();
        return false;
    }
    if (start(false) == 0) {
        stop();
        return false;
    }
    return true;
}

void FSEvent::stop() {
    if (stopEvent_ >= 0) {
        uint64_t one = 1;
        ssize_t ignored = write(stopEvent_, &one, sizeof one);
        (void)ignored;
    }
    join();
    if (inotify_ >= 0) close(inotify_);
    if (stopEvent_ >= 0) close(stopEvent_);
    inotify_ = stopEvent_ = -1;
    folders_.clear();
    pending_.clear();
}

// Watches folder and every folder below it. Files already present in a folder that
// was just added (made, then filled before the watch began) count as modified.
bool FSEvent::addTree(const std::string& folder) {
    int wd = inotify_add_watch(inotify_, folder.c_str(), kFolderMask);
    if (wd < 0) return false;
    folders_[wd] = folder;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return true;
    bool hasFiles = false;
    std::vector<std::string> subfolders;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (lstat((folder + name).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            subfolders.push_back(folder + name + "/");
        else
            hasFiles = true;
    }
    closedir(dir);
    if (hasFiles && isCurrentThread()) note(folder);
    for (const std::string& sub : subfolders) addTree(sub);
    return true;
}

void FSEvent::note(const std::string& folder) {
    if (std::find(pending_.begin(), pending_.end(), folder) == pending_.end()) pending_.push_back(folder);
}

void FSEvent::handleEvents(const char* buffer, size_t length) {
    for (size_t offset = 0; offset + sizeof(inotify_event) <= length;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
        offset += sizeof(inotify_event) + event->len;
        if (event->mask & IN_IGNORED) {
            folders_.erase(event->wd);
            continue;
        }
        auto found = folders_.find(event->wd);
        if (found == folders_.end()) continue;
        const std::string folder = found->second;
        std::string name = event->len ? std::string(event->name) : std::string();
        bool isFolder = (event->mask & IN_ISDIR) != 0;
        if (name.empty()) continue;  // events about the watched folder itself
        if (isFolder && (event->mask & (IN_CREATE | IN_MOVED_TO))) addTree(folder + name + "/");
        if (event->mask & (IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE)) {
            // A modified file counts for its folder, a modified folder for itself.
            note(isFolder ? folder + name + "/" : folder);
        } else if (event->mask & (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO)) {
            // A changed entry list modifies the folder holding it; the watched folder
            // itself is not inside the tree and does not count.
            if (folder != base_) note(folder);
        }
    }
}

void FSEvent::run() {
    alignas(inotify_event) char buffer[4096 * 4];
    pollfd fds[2] = {{inotify_, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
    for (;;) {
        int ready = poll(fds, 2, kQuietMs);
        if (ready < 0 && errno != EINTR) break;
        if (fds[1].revents & POLLIN) break;
        if (ready == 0) {
            if (!pending_.empty()) {
                std::vector<std::string> batch;
                batch.swap(pending_);
                delegate_->changed(batch);
            }
            continue;
        }
        if (fds[0].revents & POLLIN) {
            for (;;) {
                ssize_t n = read(inotify_, buffer, sizeof buffer);
                if (n <= 0) break;
                handleEvents(buffer, static_cast<size_t>(n));
            }
        }
    }
}
