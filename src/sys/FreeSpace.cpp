#include "sys/FreeSpace.h"

#include "base/NativeException.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statvfs.h>
#include <fstream>
#include <unistd.h>

namespace {

SpaceFacts factsOf(const struct statvfs& st) {
    SpaceFacts facts;
    facts.free = static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
    facts.total = static_cast<int64_t>(st.f_blocks) * static_cast<int64_t>(st.f_frsize);
    return facts;
}

}  // namespace

SpaceFacts spaceOf(const std::string& path) {
    std::string at = path;
    while (at.size() > 1 && at.back() == '/') at.pop_back();
    if (at.empty() || at[0] != '/') throw NativeException::fromErrno(ENOENT);
    for (;;) {
        struct statvfs st;
        if (statvfs(at.c_str(), &st) == 0) {
            SpaceFacts facts = factsOf(st);
            struct stat where;
            if (stat(at.c_str(), &where) == 0) facts.device = static_cast<uint64_t>(where.st_dev);
            // A pulled-out disk's dead mount still answers from what the kernel holds: say it is gone.
            if (diskGone(facts.device)) throw NativeException::fromErrno(ENODEV);
            return facts;
        }
        if (errno != ENOENT && errno != ENOTDIR) throw NativeException::fromErrno(pathFailure(at, errno));
        size_t slash = at.find_last_of('/');
        if (slash == 0 || slash == std::string::npos) {
            if (at == "/") throw NativeException::fromErrno(ENOENT);
            at = "/";
        } else {
            at.erase(slash);
        }
    }
}

int writeFailure(int fd, int error, int64_t pending) {
    if (error == EIO) return ioFailure(fd, error);
    if (error != EPERM && error != EACCES && error != EFBIG) return error;
    struct statvfs st;
    if (fstatvfs(fd, &st) != 0) return error;
    SpaceFacts facts = factsOf(st);
    // A FAT volume allocates whole clusters: a little room is no room.
    const int64_t slack = 64 * 1024;
    return facts.total > 0 && facts.free < pending + slack ? ENOSPC : error;
}

bool diskGone(uint64_t device, const std::string& sysBlock) {
    const dev_t dev = static_cast<dev_t>(device);
    if (major(dev) == 0) return false;
    struct stat st;
    if (stat(sysBlock.c_str(), &st) != 0) return false;
    std::string node = sysBlock + "/" + std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
    if (lstat(node.c_str(), &st) != 0) return errno == ENOENT;
    // A disk on its way out is still listed, its SCSI device no longer running (a
    // partition's is its disk's).
    std::ifstream file(node + "/device/state");
    if (!file) file.open(node + "/../device/state");
    std::string state;
    return file >> state && (state == "cancel" || state == "deleted" || state == "offline" || state == "transport-offline");
}

namespace {

// The first I/O error of a pulled-out disk can come before the kernel has begun to take it
// away: an EIO waits a moment for that (a failing disk that stays is rare, and slow anyway).
bool diskGoneAfter(uint64_t device, int error) {
    for (int tries = 0;; ++tries) {
        if (diskGone(device)) return true;
        if (error != EIO || tries == 10) return false;
        usleep(100 * 1000);
    }
}

}  // namespace

int ioFailure(int fd, int error) {
    if (error != EIO) return error;
    struct stat st;
    return fstat(fd, &st) == 0 && diskGoneAfter(static_cast<uint64_t>(st.st_dev), error) ? ENODEV : error;
}

int pathFailure(const std::string& path, int error) {
    if (error != EIO && error != ENOENT) return error;
    // On a dead volume only what the kernel still holds answers: its mount point does.
    std::string at = path;
    for (;;) {
        while (at.size() > 1 && at.back() == '/') at.pop_back();
        struct stat st;
        if (!at.empty() && stat(at.c_str(), &st) == 0) return diskGoneAfter(static_cast<uint64_t>(st.st_dev), error) ? ENODEV : error;
        size_t slash = at.find_last_of('/');
        if (slash == std::string::npos || at == "/") return error;
        at.erase(slash == 0 ? 1 : slash);
    }
}
