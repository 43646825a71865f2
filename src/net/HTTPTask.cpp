#include "net/HTTPTask.h"

#include "net/HTTPConnection.h"

#include <curl/curl.h>

namespace {
constexpr long kTimeoutMs = 10000;
// A server that dribbles a few bytes now and then counts as stalled: below this rate for
// the whole time-out the transfer ends.
constexpr long kSlowestBytesPerSecond = 100;

int onProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<std::atomic<bool>*>(self)->load() ? 1 : 0;
}
}

HTTPTask::HTTPTask(HTTPConnection& connection, std::string url, std::string path)
    : url_(std::move(url)), path_(std::move(path)), connection_(connection) {}

HTTPTask::~HTTPTask() {
    if (session_) curl_easy_cleanup(session_);
}

void HTTPTask::run() {
    connection_.waitUntilEntered();
    const uint32_t id = static_cast<uint32_t>(threadId());
    buffer_.resize(kBlockSize);
    bool succeeded = transfer() && !cancelled_;
    if (session_) {
        curl_easy_cleanup(session_);
        session_ = nullptr;
    }
    finish(succeeded);
    HTTPConnectionDelegate* delegate = connection_.delegate();
    if (delegate && !cancelled_) {
        if (succeeded)
            delegate->completed(id, path_);
        else
            delegate->error(id, url_);
    }
    // The connection may be gone as soon as we have left it.
    connection_.leave(id);
}

CURL* HTTPTask::openSession() {
    session_ = curl_easy_init();
    if (!session_) return nullptr;
    curl_easy_setopt(session_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(session_, CURLOPT_USERAGENT, "Corvane");
    curl_easy_setopt(session_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(session_, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(session_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Proxies come from http_proxy, https_proxy, all_proxy and no_proxy, as libcurl reads them.
    curl_easy_setopt(session_, CURLOPT_CONNECTTIMEOUT_MS, kTimeoutMs);
    // Receiving or sending (next to) nothing for the time-out ends the transfer.
    curl_easy_setopt(session_, CURLOPT_LOW_SPEED_LIMIT, kSlowestBytesPerSecond);
    curl_easy_setopt(session_, CURLOPT_LOW_SPEED_TIME, kTimeoutMs / 1000);
    curl_easy_setopt(session_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(session_, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(session_, CURLOPT_XFERINFODATA, &cancelled_);
    return session_;
}

long HTTPTask::responseCode() const {
    long code = 0;
    if (session_) curl_easy_getinfo(session_, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

void HTTPTask::reportProgress(long total, long amount) {
    HTTPConnectionDelegate* delegate = connection_.delegate();
    if (delegate && !cancelled_) delegate->progress(static_cast<uint32_t>(threadId()), total, amount);
}
