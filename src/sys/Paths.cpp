#include "sys/Paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string fromEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value == '/' ? std::string(value) : std::string();
}

std::string stripSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string homeFolder() {
    std::string home = fromEnv("HOME");
    if (!home.empty()) return stripSlash(home);
    if (struct passwd* pw = getpwuid(getuid())) {
        if (pw->pw_dir) return stripSlash(pw->pw_dir);
    }
    return "/tmp";
}

std::string configHome() {
    std::string dir = fromEnv("XDG_CONFIG_HOME");
    return dir.empty() ? homeFolder() + "/.config" : stripSlash(dir);
}

std::string dataHome() {
    std::string dir = fromEnv("XDG_DATA_HOME");
    return dir.empty() ? homeFolder() + "/.local/share" : stripSlash(dir);
}

std::string cacheHome() {
    std::string dir = fromEnv("XDG_CACHE_HOME");
    return dir.empty() ? homeFolder() + "/.cache" : stripSlash(dir);
}

std::string temporaryFolder() {
    std::string dir = fromEnv("TMPDIR");
    return withSlash(dir.empty() ? "/tmp" : dir);
}

std::string executablePath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

bool makeFolders(const std::string& path) {
    if (path.empty()) return false;
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string withSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool fileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::string folderOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string nameOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readWholeFile(const std::string& path, std::string& bytes) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            close(fd);
            return false;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

std::string appDataFolder(const std::string& app) {
    std::string folder = dataHome() + "/Corvane/" + app + "/";
    makeFolders(folder.substr(0, folder.size() - 1));
    return folder;
}
