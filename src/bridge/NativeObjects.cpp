#include "bridge/NativeObjects.h"

#include "audio/AudioDevice.h"
#include "modules/NativeCall_audio.h"
#include "modules/NativeCall_http.h"
#include "net/HTTPConnection.h"

NativeObjects::NativeObjects(JavaScriptInterface* controller) : controller_(controller) {
    httpConnection_ = std::make_unique<HTTPConnection>();
    httpConnectionDelegate_ = std::make_unique<_HTTPConnectionDelegate>(controller);
    httpConnection_->setDelegate(httpConnectionDelegate_.get());
    audioDevice_ = std::make_unique<AudioDevice>();
    audioDeviceDelegate_ = std::make_unique<_AudioDeviceDelegate>(controller);
    audioDevice_->setDelegate(audioDeviceDelegate_.get());
}

NativeObjects::~NativeObjects() {
    joinWorkers();
    // Services first (each stops its own workers), then the delegates they report to.
    httpConnection_.reset();
    httpConnectionDelegate_.reset();
    audioDevice_.reset();
    audioDeviceDelegate_.reset();
}

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
