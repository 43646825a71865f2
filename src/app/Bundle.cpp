#include "app/Bundle.h"

#include "sys/Paths.h"
#include "sys/ZipArchive.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

std::string Bundle::dataFolder(const std::string& name) { return appDataFolder(name); }

std::string Bundle::dataSubfolder(const std::string& sub) const {
    std::string folder = dataFolder() + sub + "/";
    makeFolders(folder.substr(0, folder.size() - 1));
    return folder;
}

bool Bundle::unpackInto(const std::string& archivePath, const std::string& destination) {
    return unpackZipInto(archivePath, destination);
}

bool Bundle::unpackArchive(const std::string& archivePath) { return unpackInto(archivePath, dataFolder()); }

bool Bundle::extract(const BundleResource& resource) {
    std::string folder = dataFolder();
    std::string tag = resource.tag.empty() ? "tmp" : resource.tag;
    std::string archive = folder + tag + ".zip";
    if (tag != "tmp" && fileExists(archive)) return true;
    if (!resource.data || resource.size == 0) return false;
    int fd = open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t written = 0;
    bool ok = true;
    while (written < resource.size) {
        ssize_t n = write(fd, resource.data + written, resource.size - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        written += static_cast<size_t>(n);
    }
    ok = close(fd) == 0 && ok;
    if (!ok || !unpackArchive(archive)) {
        unlink(archive.c_str());
        return false;
    }
    return true;
}

void Bundle::run() { succeeded_ = extract(builtInBundle()); }
