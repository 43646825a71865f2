#include "bridge/NativeObjects.h"

NativeObjects::NativeObjects(JavaScriptInterface* controller) : controller_(controller) {}

NativeObjects::~NativeObjects() { joinWorkers(); }

void NativeObjects::addWorker(std::unique_ptr<Thread> worker) {
    std::lock_guard<std::mutex> lock(workersMutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
        if ((*it)->finished()) {
            (*it)->join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
    workers_.push_back(std::move(worker));
}

size_t NativeObjects::workerCount() const {
    std::lock_guard<std::mutex> lock(workersMutex_);
    return workers_.size();
}

void NativeObjects::joinWorkers() {
    std::vector<std::unique_ptr<Thread>> workers;
    {
        std::lock_guard<std::mutex> lock(workersMutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) worker->join();
}
