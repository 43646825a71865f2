#include "sys/FileOperations.h"

#include "base/NativeException.h"
#include "sys/FileIO.h"
#include "sys/FileListing.h"
#include "sys/FreeSpace.h"
#include "sys/Paths.h"

#include <cctype>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <memory>
#include <mutex>
#include <set>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(int error) { throw NativeException::fromErrno(error); }
// A failure at path, told as what the user needs to hear (a volume pulled out: ENODEV).
[[noreturn]] void failAt(const std::string& path, int error) { fail(pathFailure(path, error)); }

const char* const kCopyPrefix = ".tarn-copy-";

// The copy temporaries this process is writing now.
std::mutex copiesMutex;
std::set<std::string> copiesInProgress;

struct CopyInProgress {
    std::string path;
    explicit CopyInProgress(const std::string& p) : path(p) {
        std::lock_guard<std::mutex> lock(copiesMutex);
        copiesInProgress.insert(path);
    }
    ~CopyInProgress() {
        std::lock_guard<std::mutex> lock(copiesMutex);
        copiesInProgress.erase(path);
    }
};

bool isCopyTemporary(const std::string& name) {
    const size_t prefix = std::char_traits<char>::length(kCopyPrefix);
    if (name.size() < prefix + 1 + 7 || name.compare(0, prefix, kCopyPrefix) != 0) return false;
    if (name[name.size() - 7] != '.') return false;
    for (size_t i = name.size() - 6; i < name.size(); ++i)
        if (!isalnum(static_cast<unsigned char>(name[i]))) return false;
    return true;
}

void collectNamedWith(const std::string& folder, const std::string& prefix, int depth, std::vector<std::string>& found) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) return;
    std::vector<std::string> subfolders;
    while (dirent* entry = readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth > 0) subfolders.push_back(path + "/");
        } else if (S_ISREG(st.st_mode) && name.compare(0, prefix.size(), prefix) == 0) {
            found.push_back(path);
        }
    }
    for (const std::string& sub : subfolders) collectNamedWith(sub, prefix, depth - 1, found);
}

void collectStaleCopies(const std::string& folder, int depth, std::vector<std::string>& removed) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> subfolders;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth > 0) subfolders.push_back(path + "/");
            continue;
        }
        if (!S_ISREG(st.st_mode) || !isCopyTemporary(name)) continue;
        {
            std::lock_guard<std::mutex> lock(copiesMutex);
            if (copiesInProgress.count(path)) continue;
        }
        if (unlink(path.c_str()) == 0) removed.push_back(path);
    }
    closedir(dir);
    for (const std::string& sub : subfolders) collectStaleCopies(sub, depth - 1, removed);
}

int renameat2NoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
    return static_cast<int>(syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    errno = ENOSYS;
    return -1;
#endif
}

void removeContents(const std::string& folder) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
    if (!dir) fail(errno);
    for (;;) {
        errno = 0;
        dirent* entry = readdir(dir.get());
        if (!entry) {
            if (errno != 0) fail(errno);
            break;
        }
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) fail(errno);
        if (S_ISDIR(st.st_mode)) {
            removeContents(path);
            if (rmdir(path.c_str()) != 0) fail(errno);
        } else if (unlink(path.c_str()) != 0) {
            fail(errno);
        }
    }
}

// Writes everything from one descriptor to the other; size is what the source holds,
// so that a write refused for want of room is reported as such.
void copyBytes(int in, int out, int64_t size) {
    int64_t copied = 0;
    auto writeFailed = [&](int error) { fail(writeFailure(out, error, size - copied)); };
    for (;;) {
        ssize_t n = sendfile(out, in, nullptr, size_t(1) << 30);
        if (n > 0) {
            copied += n;
            continue;
        }
        if (n == 0) return;
        if (errno == EINTR) continue;
        // sendfile cannot tell which side failed: a read error is told as a write's.
        if (errno != EINVAL && errno != ENOSYS) writeFailed(errno);
        break;  // this pair cannot use sendfile: copy through a buffer
    }
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(ioFailure(in, errno));
        }
        if (n == 0) return;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                writeFailed(errno);
            }
            done += w;
            copied += w;
        }
    }
}

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

// Writes a folder's entries to its device; 0, or the errno to report. File systems that
// cannot sync a folder this way (they keep entries elsewhere) count as done.
int syncFolder(const std::string& folder) {
    Descriptor dir{open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    if (dir.fd < 0) return pathFailure(folder, errno);
    if (fsync(dir.fd) == 0 || errno == EINVAL || errno == ENOSYS || errno == EROFS || errno == EBADF) return 0;
    return ioFailure(dir.fd, errno);
}

}  // namespace

void makeFolderTree(const std::string& path) {
    std::string folder = withoutTrailingSlashes(path);
    if (folder.empty()) fail(ENOENT);
    for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        std::string partial = folder.substr(0, slash);
        if (mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) failAt(partial, errno);
        if (slash == std::string::npos) break;
    }
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) fail(errno);
    if (!S_ISDIR(st.st_mode)) fail(ENOTDIR);
}

void removeTree(const std::string& path) {
    std::string target = withoutTrailingSlashes(path);
    struct stat st;
    if (lstat(target.c_str(), &st) != 0) fail(errno);
    if (S_ISDIR(st.st_mode)) {
        removeContents(target);
        if (rmdir(target.c_str()) != 0) fail(errno);
    } else if (unlink(target.c_str()) != 0) {
        fail(errno);
    }
}

void renameNoReplace(const std::string& temp, const std::string& to) {
    if (renameat2NoReplace(temp.c_str(), to.c_str()) == 0) return;
    if (errno != EINVAL && errno != ENOSYS) failAt(to, errno);
    // No RENAME_NOREPLACE here: a hard link fails atomically on an existing name.
    if (link(temp.c_str(), to.c_str()) == 0) {
        unlink(temp.c_str());
        return;
    }
    if (errno == EEXIST) fail(EEXIST);
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP) failAt(to, errno);
    // Neither (FAT through FUSE, for example): check, then rename.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) fail(EEXIST);
    if (rename(temp.c_str(), to.c_str()) != 0) failAt(to, errno);
}

void copyFileNoReplace(const std::string& from, const std::string& to) {
    // Regular files only: copying a FIFO or a device could block or never end.
    Descriptor in{openRegularFile(from)};
    if (in.fd < 0) failAt(from, errno);
    struct stat st;
    if (fstat(in.fd, &st) != 0) fail(errno);
    struct stat existing;
    if (lstat(to.c_str(), &existing) == 0) fail(EEXIST);  // say so before copying anything

    std::string temp = folderOf(to) + kCopyPrefix + nameOf(to) + ".XXXXXX";
    Descriptor out{mkostemp(&temp[0], O_CLOEXEC)};
    if (out.fd < 0) failAt(temp, errno);
    CopyInProgress running(temp);
    try {
        copyBytes(in.fd, out.fd, st.st_size);
        fchmod(out.fd, st.st_mode & 07777);  // best effort: FAT has no modes
        // Written-back data may find the volume full only now.
        if (fsync(out.fd) != 0) fail(writeFailure(out.fd, errno, 0));
        renameNoReplace(temp, to);
    } catch (...) {
        unlink(temp.c_str());
        throw;
    }
    // The copy is done only once its new name is on the device with the file's size and
    // first cluster: FAT writes those into the renamed entry with the file's own metadata,
    // so the file is synced again, then its folder. Until then a volume pulled out would
    // keep the data under no name, or an empty file under the new one.
    int error = fsync(out.fd) == 0 ? syncFolder(folderOf(to)) : ioFailure(out.fd, errno);
    int fd = out.fd;
    out.fd = -1;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        unlink(to.c_str());
        fail(error);
    }
}

namespace {

// A move between file systems: copy, then delete the source; a source that cannot be
// deleted takes the copy back so that the file is not left twice.
void copyThenDelete(const std::string& from, const std::string& to) {
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) fail(errno);
    if (S_ISDIR(st.st_mode)) fail(EXDEV);  // folders move within one file system only
    copyFileNoReplace(from, to);
    if (unlink(from.c_str()) != 0) {
        int error = errno;
        unlink(to.c_str());
        fail(error);
    }
}

}  // namespace

void moveNoReplace(const std::string& from, const std::string& to) {
    if (renameat2NoReplace(from.c_str(), to.c_str()) == 0) return;
    int error = errno;
    if (error == EXDEV) return copyThenDelete(from, to);
    if (error != EINVAL && error != ENOSYS) failAt(to, error);
    // This file system has no RENAME_NOREPLACE: check, then rename.
    struct stat st;
    if (lstat(to.c_str(), &st) == 0) fail(EEXIST);
    if (rename(from.c_str(), to.c_str()) == 0) return;
    if (errno == EXDEV) return copyThenDelete(from, to);
    failAt(to, errno);
}

std::vector<std::string> removeStaleCopies(const std::string& folder) {
    std::vector<std::string> removed;
    if (folder.empty()) return removed;
    collectStaleCopies(withSlash(folder), 3, removed);
    return removed;
}

std::vector<std::string> filesNamedWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    if (folder.empty() || prefix.empty()) return found;
    collectNamedWith(withSlash(folder), prefix, 3, found);
    return found;
}
