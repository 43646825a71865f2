#include "sys/VolumeLabels.h"

#include <blkid/blkid.h>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <unistd.h>
#include <vector>

namespace {

// udev writes unsafe characters of a link name as \xHH.
std::string unescapeUdev(const std::string& name) {
    std::string text;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x' && isxdigit(static_cast<unsigned char>(name[i + 2])) &&
            isxdigit(static_cast<unsigned char>(name[i + 3]))) {
            text += static_cast<char>(std::strtol(name.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            text += name[i];
        }
    }
    return text;
}

// Lexically normalised absolute path ("." and ".." folded, no symlinks followed).
std::string normalise(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        std::string part = path.substr(start, slash - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = slash + 1;
    }
    std::string text;
    for (const std::string& part : parts) text += "/" + part;
    return text.empty() ? "/" : text;
}

// Where a device path leads: its symlinks resolved when it exists.
std::string resolvedDevice(const std::string& device) {
    char buffer[PATH_MAX];
    if (realpath(device.c_str(), buffer)) return buffer;
    return normalise(device);
}

std::string labelFromBlkid(const std::string& device) {
    blkid_cache cache = nullptr;
    if (blkid_get_cache(&cache, nullptr) != 0) return std::string();
    std::string label;
    if (char* value = blkid_get_tag_value(cache, "LABEL", device.c_str())) {
        label = value;
        free(value);
    }
    blkid_put_cache(cache);
    return label;
}

}  // namespace

std::string labelFromLinkFolder(const std::string& linkFolder, const std::string& device) {
    DIR* dir = opendir(linkFolder.c_str());
    if (!dir) return std::string();
    std::string wanted = resolvedDevice(device);
    std::string label;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        char target[PATH_MAX];
        ssize_t n = readlink((linkFolder + "/" + name).c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        std::string link(target, static_cast<size_t>(n));
        if (link[0] != '/') link = linkFolder + "/" + link;
        if (normalise(link) == wanted) {
            label = unescapeUdev(name);
            break;
        }
    }
    closedir(dir);
    return label;
}

std::string volumeLabel(const std::string& device) {
    std::string label = labelFromLinkFolder("/dev/disk/by-label", device);
    return label.empty() ? labelFromBlkid(device) : label;
}
