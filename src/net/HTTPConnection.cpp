#include "net/HTTPConnection.h"

#include "net/HTTPDownload.h"
#include "net/HTTPUpload.h"

#include <curl/curl.h>

HTTPConnection::HTTPConnection() {
    // Made on the UI thread before any transfer; libcurl wants its global set-up done once.
    static const CURLcode initialised = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)initialised;
}

HTTPConnection::~HTTPConnection() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (auto& entry : tasks_) entry.second->cancel();
    // The workers hold a reference to this object until they leave; cancellation makes
    // libcurl give up within its next progress check.
    emptied_.wait(lock, [this] { return tasks_.empty(); });
}

uint32_t HTTPConnection::download(const std::string& url, const std::string& destination) {
    return start(std::make_unique<HTTPDownload>(*this, url, destination));
}

uint32_t HTTPConnection::upload(const std::string& url, const std::string& source) {
    return start(std::make_unique<HTTPUpload>(*this, url, source));
}

uint32_t HTTPConnection::start(std::unique_ptr<HTTPTask> task) {
    // The worker waits for this mutex before it does anything, so the task is in the map
    // (and cancellable) before the caller learns its id, and alive while we enter it.
    std::lock_guard<std::mutex> lock(mutex_);
    HTTPTask* raw = task.get();
    pid_t id = raw->start(true);
    if (id == 0) return 0;  // the body never runs; the object is still ours
    task.release();
    tasks_[static_cast<uint32_t>(id)] = raw;
    return static_cast<uint32_t>(id);
}

void HTTPConnection::waitUntilEntered() { std::lock_guard<std::mutex> lock(mutex_); }

void HTTPConnection::leave(uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.erase(id);
    if (tasks_.empty()) emptied_.notify_all();
}

void HTTPConnection::cancel(uint32_t id) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = tasks_.find(id);
    if (found != tasks_.end()) found->second->cancel();
}

size_t HTTPConnection::runningTasks() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return tasks_.size();
}
