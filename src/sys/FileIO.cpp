#include "sys/FileIO.h"

#include "sys/FreeSpace.h"

#include "base/NativeException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes the descriptor when the scope ends.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
};

// Writes every byte, resuming after signals; false with errno set when the system refuses.
bool writeAll(int fd, const char* bytes, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// A new file named after path plus a random suffix, in the same folder (so that it can be
// renamed or linked into place), readable by the user alone; -1 on failure.
int createTemporaryBeside(const std::string& path, const std::string& prefix, std::string& temporary) {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    temporary = folder + prefix + name + ".XXXXXX";
    return mkostemp(&temporary[0], O_CLOEXEC);
}

int refuse(const struct stat& st) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return -1;
}

}  // namespace

void requireWholePath(const std::string& path) {
    if (path.find('\0') != std::string::npos) throw NativeException::fromErrno(EINVAL);
}

bool isRegularFile(const std::string& path) {
    if (path.find('\0') != std::string::npos) return errno = EINVAL, false;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    if (!S_ISREG(st.st_mode)) return refuse(st), false;
    return true;
}

int openRegularFile(const std::string& path) {
    // stat first: a device node is never opened at all (opening some has effects).
    if (!isRegularFile(path)) return -1;
    // Non-blocking in case the name was replaced by a FIFO in between; checked again below.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return refuse(st);
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string readFileBytes(const std::string& path, int64_t offset, int64_t length) {
    FileDescriptor file{openRegularFile(path)};
    if (file.fd < 0) {
        if (errno == EINVAL) throw NativeException("Not a regular file");
        throw NativeException::fromErrno(pathFailure(path, errno));
    }
    struct stat st;
    if (fstat(file.fd, &st) != 0) throw NativeException::fromErrno(errno);
    if (offset < 0) throw NativeException::fromErrno(EINVAL);
    if (length < 0) length = st.st_size;
    // A regular file cannot give more than it holds past the offset: never reserve more.
    length = std::min<int64_t>(length, std::max<int64_t>(0, st.st_size - offset));
    std::string bytes;
    size_t done = 0;
    const size_t wanted = static_cast<size_t>(length);
    while (done < wanted) {
        bytes.resize(std::min(wanted, done + (size_t(1) << 24)));
        ssize_t n = pread(file.fd, &bytes[done], bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw NativeException::fromErrno(ioFailure(file.fd, errno));
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void writeFileBytes(const std::string& path, const std::string& bytes, bool append) {
    requireWholePath(path);
    // Regular files only: opening a FIFO for writing waits for a reader, a device may be anything.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) throw NativeException::fromErrno(EISDIR);
        throw NativeException("Not a regular file");
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | (append ? O_APPEND : O_TRUNC);
    FileDescriptor file{open(path.c_str(), flags, 0666)};
    if (file.fd < 0) throw NativeException::fromErrno(errno);
    if (fstat(file.fd, &st) != 0) throw NativeException::fromErrno(errno);
    if (!S_ISREG(st.st_mode)) throw NativeException("Not a regular file");
    fcntl(file.fd, F_SETFL, fcntl(file.fd, F_GETFL) & ~O_NONBLOCK);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw NativeException::fromErrno(writeFailure(file.fd, errno, static_cast<int64_t>(bytes.size() - done)));
        }
        done += static_cast<size_t>(n);
    }
    int fd = file.fd;
    file.fd = -1;
    if (close(fd) != 0) throw NativeException::fromErrno(errno);
}

bool writeFileAtomically(const std::string& path, const std::string& bytes) {
    std::string temporary;
    int fd = createTemporaryBeside(path, ".", temporary);
    if (fd < 0) return false;
    bool ok = writeAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) ok = rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok;
}

bool readPrivateFile(const std::string& path, size_t maxBytes, std::string& bytes) {
    FileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
    if (file.fd < 0) return false;
    struct stat st;
    if (fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid() || (st.st_mode & 077) != 0)
        return false;
    bytes.assign(maxBytes + 1, '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = read(file.fd, &bytes[done], bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return true;
}

bool createPrivateFileOnce(const std::string& path, const std::string& bytes) {
    std::string temporary;
    int fd = createTemporaryBeside(path, "", temporary);  // mode 0600
    if (fd < 0) return false;
    bool written = writeAll(fd, bytes.data(), bytes.size()) && fsync(fd) == 0;
    written = close(fd) == 0 && written;
    // link, unlike rename, never replaces: the first file made stays whoever made it.
    bool linked = written && (link(temporary.c_str(), path.c_str()) == 0 || errno == EEXIST);
    unlink(temporary.c_str());
    return linked;
}
