#include "sys/MountTable.h"

#include "sys/Paths.h"

#include <sys/statvfs.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <utility>

namespace {

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
std::string unescapeOctal(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
            field[i + 3] >= '0' && field[i + 3] <= '7') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

bool parseLine(const std::string& line, MountEntry& entry) {
    std::istringstream in(line);
    std::string id, parent, devno, root, mountPoint, options, field;
    if (!(in >> id >> parent >> devno >> root >> mountPoint >> options)) return false;
    // Optional fields up to the "-" separator.
    while (in >> field && field != "-") {}
    if (field != "-") return false;
    std::string fsType, source;
    if (!(in >> fsType >> source)) return false;
    in >> entry.options;
    if (std::sscanf(devno.c_str(), "%u:%u", &entry.major, &entry.minor) != 2) return false;
    entry.root = unescapeOctal(root);
    entry.mountPoint = unescapeOctal(mountPoint);
    entry.fsType = fsType;
    entry.source = unescapeOctal(source);
    return true;
}

bool underFolder(const std::string& path, const std::string& folder) {
    return path == folder || path.compare(0, folder.size() + 1, folder + "/") == 0;
}

// The value of "name=value" in a comma-separated option list; "" when absent.
std::string optionValue(const std::string& options, const std::string& name) {
    std::istringstream in(options);
    std::string option;
    while (std::getline(in, option, ',')) {
        if (option.compare(0, name.size() + 1, name + "=") == 0) return option.substr(name.size() + 1);
    }
    return std::string();
}

}  // namespace

std::vector<MountEntry> parseMountInfo(const std::string& text) {
    std::vector<MountEntry> entries;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        MountEntry entry;
        if (parseLine(line, entry)) entries.push_back(std::move(entry));
    }
    return entries;
}

bool readMountTable(std::vector<MountEntry>& entries) {
    std::string text;
    if (!readWholeFile("/proc/self/mountinfo", text)) return false;
    entries = parseMountInfo(text);
    return true;
}

bool isUserVolume(const MountEntry& entry) {
    if (entry.source.compare(0, 5, "/dev/") != 0) return false;  // virtual and network filesystems
    // A bind mount of a folder or a single file is not a volume; a btrfs subvolume is.
    if (entry.root != "/" && entry.root != optionValue(entry.options, "subvol")) return false;
    static const char* const systemFolders[] = {"/boot", "/efi", "/snap", "/var/snap", "/var/lib/snapd"};
    for (const char* folder : systemFolders) {
        if (underFolder(entry.mountPoint, folder)) return false;
    }
    return true;
}

std::vector<MountEntry> userVolumes(const std::vector<MountEntry>& entries) {
    std::vector<MountEntry> volumes;
    std::set<std::pair<std::pair<unsigned, unsigned>, std::string>> seen;
    for (const MountEntry& entry : entries) {
        if (!isUserVolume(entry)) continue;
        if (!seen.insert({{entry.major, entry.minor}, entry.root}).second) continue;
        volumes.push_back(entry);
    }
    return volumes;
}

const MountEntry* mountHolding(const std::vector<MountEntry>& entries, const std::string& resolvedPath) {
    const MountEntry* holder = nullptr;
    for (const MountEntry& entry : entries) {
        if (entry.mountPoint == "/" || underFolder(resolvedPath, entry.mountPoint)) holder = &entry;
    }
    return holder;
}

bool volumeSpace(const std::string& mountPoint, VolumeSpace& space) {
    struct statvfs facts {};
    if (statvfs(mountPoint.c_str(), &facts) != 0) return false;
    const unsigned long long unit = facts.f_frsize ? facts.f_frsize : facts.f_bsize;
    space.size = static_cast<unsigned long long>(facts.f_blocks) * unit;
    space.free = static_cast<unsigned long long>(facts.f_bavail) * unit;
    return true;
}
