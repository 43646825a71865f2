#include "sys/FileIO.h"

#include "bridge/NativeException.h"

#include <algorithm>
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

}  // namespace

std::string readFileBytes(const std::string& path, int64_t offset, int64_t length) {
    FileDescriptor file{open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (file.fd < 0) throw NativeException::fromErrno(errno);
    struct stat st;
    if (fstat(file.fd, &st) != 0) throw NativeException::fromErrno(errno);
    if (S_ISDIR(st.st_mode)) throw NativeException::fromErrno(EISDIR);
    if (offset < 0) throw NativeException::fromErrno(EINVAL);
    if (length < 0) length = st.st_size;
    // A regular file cannot give more than it holds past the offset: never reserve more.
    if (S_ISREG(st.st_mode)) length = std::min<int64_t>(length, std::max<int64_t>(0, st.st_size - offset));
    std::string bytes;
    size_t done = 0;
    const size_t wanted = static_cast<size_t>(length);
    while (done < wanted) {
        bytes.resize(std::min(wanted, done + (size_t(1) << 24)));
        ssize_t n = pread(file.fd, &bytes[done], bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            throw NativeException::fromErrno(errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    bytes.resize(done);
    return bytes;
}

void writeFileBytes(const std::string& path, const std::string& bytes, bool append) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    FileDescriptor file{open(path.c_str(), flags, 0666)};
    if (file.fd < 0) throw NativeException::fromErrno(errno);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(file.fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw NativeException::fromErrno(errno);
        }
        done += static_cast<size_t>(n);
    }
    int fd = file.fd;
    file.fd = -1;
    if (close(fd) != 0) throw NativeException::fromErrno(errno);
}
