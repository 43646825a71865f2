#include "net/HTTPUpload.h"

#include "sys/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <curl/curl.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
bool startsWithNoCase(const std::string& text, const char* prefix) {
    size_t n = std::char_traits<char>::length(prefix);
    return text.size() >= n && strncasecmp(text.c_str(), prefix, n) == 0;
}
}

bool HTTPUpload::transfer() {
    fd_ = openRegularFile(path_);
    if (fd_ < 0) return false;
    struct stat info;
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    size_ = static_cast<long>(info.st_size);
    if (!startsWithNoCase(url_, "http://") && !startsWithNoCase(url_, "https://")) return false;
    if (!openSession()) return false;
    curl_easy_setopt(session_, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(session_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size_));
    curl_easy_setopt(session_, CURLOPT_READFUNCTION, &HTTPUpload::onRead);
    curl_easy_setopt(session_, CURLOPT_READDATA, this);
    curl_easy_setopt(session_, CURLOPT_FOLLOWLOCATION, 0L);
    // Send the body at once instead of waiting for "100 Continue".
    curl_slist* headers = curl_slist_append(nullptr, "Expect:");
    curl_easy_setopt(session_, CURLOPT_HTTPHEADER, headers);
    CURLcode rc = curl_easy_perform(session_);
    curl_easy_setopt(session_, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    if (rc != CURLE_OK || cancelled() || readFailed_) return false;
    long code = responseCode();
    return code == 200 || code == 201;
}

void HTTPUpload::finish(bool) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

size_t HTTPUpload::onRead(char* out, size_t size, size_t count, void* self) {
    return static_cast<HTTPUpload*>(self)->send(out, size * count);
}

size_t HTTPUpload::send(char* out, size_t room) {
    if (cancelled()) return CURL_READFUNC_ABORT;
    if (sent_ == used_) {
        // The next block of the file, never more than the announced length.
        size_t wanted = std::min(buffer_.size(), static_cast<size_t>(size_ - amount_));
        if (wanted == 0) return 0;
        ssize_t n;
        do {
            n = ::read(fd_, buffer_.data(), wanted);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            // Failed, or the file shrank under us: the request cannot be completed.
            readFailed_ = true;
            return CURL_READFUNC_ABORT;
        }
        used_ = static_cast<size_t>(n);
        sent_ = 0;
    }
    size_t piece = std::min(room, used_ - sent_);
    std::copy(buffer_.data() + sent_, buffer_.data() + sent_ + piece, out);
    sent_ += piece;
    if (sent_ == used_) {
        amount_ += static_cast<long>(used_);
        reportProgress(size_, amount_);
    }
    return piece;
}
