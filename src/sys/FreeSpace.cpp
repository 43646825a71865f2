#include "sys/FreeSpace.h"

#include "base/NativeException.h"

#include <cerrno>
#include <sys/stat.h>
#include <sys/statvfs.h>

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
            return facts;
        }
        if (errno != ENOENT && errno != ENOTDIR) throw NativeException::fromErrno(errno);
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
    if (error != EPERM && error != EACCES && error != EFBIG) return error;
    struct statvfs st;
    if (fstatvfs(fd, &st) != 0) return error;
    SpaceFacts facts = factsOf(st);
    // A FAT volume allocates whole clusters: a little room is no room.
    const int64_t slack = 64 * 1024;
    return facts.total > 0 && facts.free < pending + slack ? ENOSPC : error;
}
