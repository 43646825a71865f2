#include "sys/TokenFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isToken(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

bool readExisting(const std::string& path, std::string& token, std::string& error) {
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        close(fd);
        error = path + ": not a file of this user's own";
        return false;
    }
    // A token others can read lets them drive the looper: refuse rather than use it.
    if (st.st_mode & (S_IRWXG | S_IRWXO)) {
        close(fd);
        error = path + ": others may read it; make it private (chmod 600) or remove it";
        return false;
    }
    char buffer[130];
    ssize_t n = read(fd, buffer, sizeof buffer);
    close(fd);
    std::string text(buffer, n > 0 ? static_cast<size_t>(n) : 0);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (!isToken(text)) {
        error = path + ": holds no token (64 hex digits); remove it to have a new one made";
        return false;
    }
    token = text;
    return true;
}

}  // namespace

bool keptToken(const std::string& path, std::string (*makeNew)(), std::string& token, std::string& error) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return readExisting(path, token, error);
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string fresh = makeNew() + "\n";
    bool written = write(fd, fresh.data(), fresh.size()) == static_cast<ssize_t>(fresh.size());
    bool closed = close(fd) == 0;
    if (!written || !closed) {
        error = path + ": the token could not be written";
        unlink(path.c_str());
        return false;
    }
    fresh.pop_back();
    token = fresh;
    return true;
}
