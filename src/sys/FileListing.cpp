#include "sys/FileListing.h"

#include "base/NativeException.h"
#include "sys/FreeSpace.h"
#include "sys/Paths.h"

#include <dirent.h>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace {

FileFacts factsOf(const std::string& name, const struct stat& st) {
    FileFacts facts;
    facts.name = name;
    facts.directory = S_ISDIR(st.st_mode);
    facts.size = facts.directory ? 0 : static_cast<uint32_t>(static_cast<uint64_t>(st.st_size) & 0xFFFFFFFFu);
    facts.writable = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    return facts;
}

bool endsWith(const std::string& text, const std::string& tail, bool ignoreCase) {
    if (text.size() < tail.size()) return false;
    size_t start = text.size() - tail.size();
    if (!ignoreCase) return text.compare(start, tail.size(), tail) == 0;
    return strncasecmp(text.c_str() + start, tail.c_str(), tail.size()) == 0;
}

// FAT, exFAT and NTFS (as removable media use them) find names without regard to case.
bool ignoresCase(const std::string& folder) {
    struct statfs fs;
    if (statfs(folder.c_str(), &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44:      // FAT
    case 0x2011BAB0:  // exFAT
    case 0x5346544e:  // NTFS
        return true;
    default:
        return false;
    }
}

}  // namespace

std::string withoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::vector<FileFacts> listFolder(const std::string& folder, const std::string& extension) {
    std::string path = withoutTrailingSlashes(folder);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path.c_str()), closedir);
    if (!dir) throw NativeException::fromErrno(errno);
    std::string base = path == "/" ? path : path + "/";
    std::string suffix = "." + extension;
    bool ignoreCase = !extension.empty() && ignoresCase(path);
    std::vector<FileFacts> entries;
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.') continue;  // hidden, and "." and ".."
        if (!extension.empty() && !endsWith(name, suffix, ignoreCase)) continue;
        struct stat st;
        // An entry that vanished between listing and looking is simply not listed.
        if (lstat((base + name).c_str(), &st) != 0) continue;
        // A symbolic link is listed as what it leads to, when it leads anywhere.
        if (S_ISLNK(st.st_mode)) stat((base + name).c_str(), &st);
        entries.push_back(factsOf(name, st));
        errno = 0;
    }
    if (errno != 0) throw NativeException::fromErrno(errno);
    return entries;
}

FileFacts statEntry(const std::string& path) {
    std::string cleaned = withoutTrailingSlashes(path);
    struct stat st;
    if (cleaned.empty()) throw NativeException::fromErrno(ENOENT);
    if (stat(cleaned.c_str(), &st) != 0) throw NativeException::fromErrno(pathFailure(cleaned, errno));
    std::string name = cleaned == "/" ? "/" : nameOf(cleaned);
    return factsOf(name, st);
}
