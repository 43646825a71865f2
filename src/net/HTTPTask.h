#pragma once

#include "base/Thread.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class HTTPConnection;
typedef void CURL;

// One transfer on its own self-deleting worker thread. Subclasses move the data;
// the base sets up the libcurl session, reports the outcome and leaves the connection.
class HTTPTask : public Thread {
public:
    static constexpr size_t kBlockSize = 1048576;

    HTTPTask(HTTPConnection& connection, std::string url, std::string path);
    ~HTTPTask() override;

    void run() final;
    // Any thread: the worker stops before its next block and reports nothing more.
    void cancel() { cancelled_ = true; }

protected:
    // Moves the data; false on failure. Runs on the worker.
    virtual bool transfer() = 0;
    // Called once after transfer(): succeeded is false on failure or cancellation.
    virtual void finish(bool /*succeeded*/) {}

    // A session with the common settings: agent, time-outs, proxies from the environment,
    // http and https only, and cancellation noticed while waiting on the network.
    CURL* openSession();
    long responseCode() const;
    bool cancelled() const { return cancelled_; }
    void reportProgress(long total, long amount);

    std::string url_;
    std::string path_;
    std::vector<char> buffer_;
    CURL* session_ = nullptr;

private:
    HTTPConnection& connection_;
    std::atomic<bool> cancelled_{false};
};
