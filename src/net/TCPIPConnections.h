#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class TCPIPClient;
class TCPIPClientDelegate;

// The numbered connections: index = connection number, a free slot holds null and a new
// connection takes the lowest free one. Everything here runs under one mutex, and a client
// is removed only by its own reader, so a client found here stays alive while it is used.
class TCPIPConnections {
public:
    TCPIPConnections() = default;
    ~TCPIPConnections();
    TCPIPConnections(const TCPIPConnections&) = delete;
    TCPIPConnections& operator=(const TCPIPConnections&) = delete;

    // Stores an opened client, gives it the delegate made for its number and starts its
    // reader. The number, or -1 when the reader could not start (the client is then gone).
    int add(std::unique_ptr<TCPIPClient> client,
            const std::function<std::unique_ptr<TCPIPClientDelegate>(int number)>& makeDelegate);
    // Runs use on the client with this number, under the mutex; false when there is none.
    bool with(int number, const std::function<void(TCPIPClient&)>& use);
    // The reader's last act: runs report (the "closed" event) and frees the slot, both under
    // the mutex, so the number is free by the time anyone sees the report.
    void remove(int number, const std::function<void()>& report);
    // Ends every connection and waits until each reader has removed its client.
    void closeAll();
    size_t count() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable emptied_;
    std::vector<TCPIPClient*> clients_;
};
