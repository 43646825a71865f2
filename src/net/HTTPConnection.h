#pragma once

#include "net/HTTPConnectionDelegate.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class HTTPTask;

// Keeps the running transfers, each on a worker thread of its own, keyed by the
// worker's system thread id. Destroying the connection cancels every transfer and
// waits for them to let go of it.
class HTTPConnection {
public:
    HTTPConnection();
    ~HTTPConnection();
    HTTPConnection(const HTTPConnection&) = delete;
    HTTPConnection& operator=(const HTTPConnection&) = delete;

    void setDelegate(HTTPConnectionDelegate* delegate) { delegate_ = delegate; }
    HTTPConnectionDelegate* delegate() const { return delegate_; }

    // Start a transfer and return its id, or 0 when no worker could be started.
    // An empty destination downloads into a new "___" file in the temporary folder.
    uint32_t download(const std::string& url, const std::string& destination);
    uint32_t upload(const std::string& url, const std::string& source);
    // Asks a running transfer to stop; unknown ids are ignored.
    void cancel(uint32_t id);
    size_t runningTasks() const;

private:
    friend class HTTPTask;
    uint32_t start(std::unique_ptr<HTTPTask> task);
    // Worker side: wait until the starter has entered the task, and leave at the end.
    void waitUntilEntered();
    void leave(uint32_t id);

    mutable std::mutex mutex_;
    std::condition_variable emptied_;
    std::map<uint32_t, HTTPTask*> tasks_;
    HTTPConnectionDelegate* delegate_ = nullptr;
};
