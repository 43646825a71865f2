#include "webview/UploadFile.h"

#include "sys/Paths.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// The extension of the sent name, kept so that the file's kind can be told from it:
// letters and digits only, at most 8 of them; "" for anything else.
std::string safeExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot + 1 >= name.size() || name.size() - dot - 1 > 8) return "";
    std::string ext = name.substr(dot + 1);
    for (char c : ext)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return "";
    return "." + ext;
}

}  // namespace

bool UploadFile::fits(unsigned long long size, unsigned long long limit, unsigned& status) {
    if (size > limit) {
        status = 413;
        return false;
    }
    struct statvfs facts {};
    if (statvfs(temporaryFolder().c_str(), &facts) == 0) {
        const unsigned long long unit = facts.f_frsize ? facts.f_frsize : facts.f_bsize;
        if (static_cast<unsigned long long>(facts.f_bavail) * unit < size) {
            status = 507;
            return false;
        }
    }
    return true;
}

UploadFile::~UploadFile() {
    if (!kept_) discard();
    else if (fd_ >= 0) close(fd_);
}

bool UploadFile::open(const std::string& folder, const std::string& name, unsigned long long expected) {
    const std::string ext = safeExtension(name);
    std::string pattern = withSlash(folder) + "tarn-upload-XXXXXX" + ext;
    fd_ = mkostemps(&pattern[0], static_cast<int>(ext.size()), O_CLOEXEC);
    if (fd_ < 0) return false;
    path_ = pattern;
    expected_ = expected;
    return true;
}

bool UploadFile::write(const char* data, size_t size) {
    if (fd_ < 0 || written_ + size > expected_) return false;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
        written_ += static_cast<unsigned long long>(n);
    }
    return true;
}

bool UploadFile::finish() {
    if (fd_ < 0 || written_ != expected_) return false;
    const bool ok = fsync(fd_) == 0 && close(fd_) == 0;
    fd_ = -1;
    kept_ = ok;
    return ok;
}

void UploadFile::discard() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
}
