#include "sys/ZipArchive.h"

#include "sys/Paths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

// The entry's path relative to the destination, or empty when it would escape it.
std::string safeRelativePath(const std::string& entryName) {
    std::string name = entryName;
    for (auto& c : name)
        if (c == '\\') c = '/';
    if (name.empty() || name[0] == '/') return std::string();
    std::string out;
    size_t pos = 0;
    while (pos <= name.size()) {
        size_t next = name.find('/', pos);
        if (next == std::string::npos) next = name.size();
        std::string part = name.substr(pos, next - pos);
        if (part == "..") return std::string();
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        pos = next + 1;
    }
    if (!name.empty() && name.back() == '/' && !out.empty()) out += '/';
    return out;
}

bool writeEntry(zip_t* archive, zip_int64_t index, const std::string& path) {
    zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (!entry) return false;
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        zip_fclose(entry);
        return false;
    }
    bool ok = true;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        zip_int64_t n = zip_fread(entry, buffer.data(), buffer.size());
        if (n < 0) {
            ok = false;
            break;
        }
        if (n == 0) break;
        const char* p = buffer.data();
        while (n > 0) {
            ssize_t w = write(fd, p, static_cast<size_t>(n));
            if (w < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            p += w;
            n -= w;
        }
        if (!ok) break;
    }
    zip_fclose(entry);
    ok = close(fd) == 0 && ok;
    return ok;
}

}  // namespace

bool unpackZipInto(const std::string& archivePath, const std::string& destination) {
    int error = 0;
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &error);
    if (!archive) return false;
    std::string folder = withSlash(destination);
    zip_int64_t count = zip_get_num_entries(archive, 0);
    // Check every name first: an archive with an escaping entry writes nothing at all.
    std::vector<std::string> paths;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
        std::string relative = name ? safeRelativePath(name) : std::string();
        if (relative.empty()) {
            zip_close(archive);
            return false;
        }
        paths.push_back(relative);
    }
    bool ok = true;
    for (zip_int64_t i = 0; i < count && ok; ++i) {
        const std::string& relative = paths[static_cast<size_t>(i)];
        std::string target = folder + relative;
        if (relative.back() == '/') {
            ok = makeFolders(target.substr(0, target.size() - 1));
        } else {
            ok = makeFolders(folderOf(target).substr(0, folderOf(target).size() - 1)) && writeEntry(archive, i, target);
        }
    }
    zip_discard(archive);
    return ok;
}
