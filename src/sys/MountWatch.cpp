#include "sys/MountWatch.h"

#include "sys/MountTable.h"

#include <fcntl.h>
#include <glib-unix.h>
#include <unistd.h>

std::string userVolumesKey() {
    std::vector<MountEntry> table;
    if (!readMountTable(table)) return std::string();
    std::string key;
    for (const MountEntry& volume : userVolumes(table)) key += volume.mountPoint + '\n' + volume.source + '\n';
    return key;
}

MountWatch::MountWatch(std::function<void()> changed) : changed_(std::move(changed)), last_(userVolumesKey()) {
    fd_ = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return;
    // A change shows as an exceptional condition (POLLPRI, with POLLERR) on the open file.
    source_ = g_unix_fd_add(fd_, static_cast<GIOCondition>(G_IO_PRI | G_IO_ERR), &MountWatch::onMarked, this);
}

MountWatch::~MountWatch() {
    if (source_) g_source_remove(source_);
    if (fd_ >= 0) close(fd_);
}

bool MountWatch::look() {
    std::string now = userVolumesKey();
    if (now == last_) return false;
    last_ = now;
    if (changed_) changed_();
    return true;
}

int MountWatch::onMarked(int, GIOCondition, void* self) {
    static_cast<MountWatch*>(self)->look();
    return G_SOURCE_CONTINUE;
}
