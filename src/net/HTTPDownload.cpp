#include "net/HTTPDownload.h"

#include "sys/Paths.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {
// A name no other file in the folder has yet, created empty (mode 0666 less the umask).
// A catalogue on a disk or a mounted share: read through libcurl like any download.
bool isLocalFileAddress(const std::string& url) {
    static const char kFile[] = "file://";
    if (url.size() < sizeof kFile - 1) return false;
    for (size_t i = 0; i < sizeof kFile - 1; ++i)
        if (std::tolower(static_cast<unsigned char>(url[i])) != kFile[i]) return false;
    return true;
}

int createUniqueFile(const std::string& prefix, std::string& path) {
    std::random_device seed;
    std::mt19937_64 random(seed());
    static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = prefix;
        for (int i = 0; i < 8; ++i) candidate += kDigits[random() % 36];
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}
}

bool HTTPDownload::transfer() {
    if (path_.empty() && !reserveTemporaryDestination()) return false;
    if (!openPartFile()) return false;
    if (!openSession()) return false;
    localFile_ = isLocalFileAddress(url_);
    // A file:// address reads a local file; no web answer may redirect to one.
    if (localFile_) curl_easy_setopt(session_, CURLOPT_PROTOCOLS_STR, "file");
    curl_easy_setopt(session_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(session_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(session_, CURLOPT_MAXREDIRS, 20L);
    curl_easy_setopt(session_, CURLOPT_WRITEFUNCTION, &HTTPDownload::onData);
    curl_easy_setopt(session_, CURLOPT_WRITEDATA, this);
    if (curl_easy_perform(session_) != CURLE_OK || cancelled()) return false;
    if (!answeredWhole()) return false;
    if (used_ > 0 && !writeBlock()) return false;
    // The data must be on disk before the name points at it.
    if (::fsync(fd_) != 0) return false;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return false;
    return ::rename(partPath_.c_str(), path_.c_str()) == 0;
}

void HTTPDownload::finish(bool succeeded) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (succeeded) return;
    if (!partPath_.empty()) ::unlink(partPath_.c_str());
    if (reserved_) ::unlink(path_.c_str());
}

bool HTTPDownload::reserveTemporaryDestination() {
    int fd = createUniqueFile(temporaryFolder() + "___", path_);
    if (fd < 0) return false;
    ::close(fd);
    reserved_ = true;
    return true;
}

bool HTTPDownload::openPartFile() {
    fd_ = createUniqueFile(folderOf(path_) + "." + nameOf(path_) + ".part-", partPath_);
    return fd_ >= 0;
}

size_t HTTPDownload::onData(char* data, size_t size, size_t count, void* self) {
    size_t bytes = size * count;
    // Anything short of the whole piece makes libcurl abort the transfer.
    return static_cast<HTTPDownload*>(self)->receive(data, bytes) ? bytes : 0;
}

bool HTTPDownload::receive(const char* data, size_t size) {
    if (cancelled()) return false;
    if (!started_) {
        // The body of the final answer (after any redirects) begins.
        if (!answeredWhole()) return false;
        curl_off_t length = -1;
        curl_easy_getinfo(session_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        total_ = length > 0 ? static_cast<long>(length) : 0;
        started_ = true;
    }
    while (size > 0) {
        size_t piece = std::min(size, buffer_.size() - used_);
        std::copy(data, data + piece, buffer_.data() + used_);
        used_ += piece;
        data += piece;
        size -= piece;
        if (used_ == buffer_.size() && !writeBlock()) return false;
    }
    return true;
}

bool HTTPDownload::answeredWhole() const { return localFile_ || responseCode() == 200; }

bool HTTPDownload::writeBlock() {
    size_t done = 0;
    while (done < used_) {
        ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    amount_ += static_cast<long>(used_);
    used_ = 0;
    reportProgress(total_, amount_);
    return true;
}
