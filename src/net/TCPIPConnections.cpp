#include "net/TCPIPConnections.h"

#include "net/TCPIPClient.h"

#include <algorithm>

TCPIPConnections::~TCPIPConnections() { closeAll(); }

int TCPIPConnections::add(std::unique_ptr<TCPIPClient> client,
                          const std::function<std::unique_ptr<TCPIPClientDelegate>(int number)>& makeDelegate) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto free = std::find(clients_.begin(), clients_.end(), nullptr);
    size_t number = static_cast<size_t>(free - clients_.begin());
    if (free == clients_.end()) clients_.push_back(nullptr);
    client->setDelegate(makeDelegate(static_cast<int>(number)));
    TCPIPClient* started = client.get();
    clients_[number] = started;
    if (started->start(true) == 0) {
        clients_[number] = nullptr;
        return -1;  // the body never ran: the client is still ours to delete
    }
    client.release();  // the reader deletes it
    return static_cast<int>(number);
}

bool TCPIPConnections::with(int number, const std::function<void(TCPIPClient&)>& use) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (number < 0 || static_cast<size_t>(number) >= clients_.size() || !clients_[number]) return false;
    use(*clients_[number]);
    return true;
}

void TCPIPConnections::remove(int number, const std::function<void()>& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    report();
    if (number >= 0 && static_cast<size_t>(number) < clients_.size()) clients_[number] = nullptr;
    if (std::all_of(clients_.begin(), clients_.end(), [](TCPIPClient* c) { return c == nullptr; }))
        emptied_.notify_all();
}

void TCPIPConnections::closeAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (TCPIPClient* client : clients_)
        if (client) client->disconnect();
    // Every reader ends promptly once disconnected: TCP receives return, serial waits are woken.
    emptied_.wait(lock, [this] {
        return std::all_of(clients_.begin(), clients_.end(), [](TCPIPClient* c) { return c == nullptr; });
    });
    clients_.clear();
}

size_t TCPIPConnections::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<size_t>(std::count_if(clients_.begin(), clients_.end(), [](TCPIPClient* c) { return c; }));
}
