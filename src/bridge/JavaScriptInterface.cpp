#include "bridge/JavaScriptInterface.h"

#include "base/Json.h"
#include "base/MainThread.h"

JavaScriptInterface::JavaScriptInterface() : alive_(std::make_shared<JavaScriptInterface*>(this)) {}

JavaScriptInterface::~JavaScriptInterface() = default;

void JavaScriptInterface::control(const std::string&) {}

uint64_t JavaScriptInterface::postEvent(const std::string& text) {
    std::string copy = text;
    std::lock_guard<std::mutex> lock(eventMutex_);
    queue_.push_back(std::move(copy));
    if (started_ && !pending_) {
        pending_ = true;
        requestDelivery();
    }
    return ++posted_;
}

std::string JavaScriptInterface::takeEvent() {
    std::lock_guard<std::mutex> lock(eventMutex_);
    if (queue_.empty()) return std::string();
    std::string front = std::move(queue_.front());
    queue_.pop_front();
    ++taken_;
    return front;
}

void JavaScriptInterface::startEvent(bool flag) {
    std::lock_guard<std::mutex> lock(eventMutex_);
    started_ = flag;
    pending_ = flag;
    if (flag) requestDelivery();
}

void JavaScriptInterface::clearStarted() {
    std::lock_guard<std::mutex> lock(eventMutex_);
    started_ = false;
}

bool JavaScriptInterface::started() const {
    std::lock_guard<std::mutex> lock(eventMutex_);
    return started_;
}

bool JavaScriptInterface::pending() const {
    std::lock_guard<std::mutex> lock(eventMutex_);
    return pending_;
}

size_t JavaScriptInterface::queuedEvents() const {
    std::lock_guard<std::mutex> lock(eventMutex_);
    return queue_.size();
}

uint64_t JavaScriptInterface::eventsTaken() const {
    std::lock_guard<std::mutex> lock(eventMutex_);
    return taken_;
}

bool JavaScriptInterface::nextEventToDeliver(std::string& event) {
    std::lock_guard<std::mutex> lock(eventMutex_);
    if (!started_) return false;
    if (queue_.empty()) {
        pending_ = false;
        return false;
    }
    event = std::move(queue_.front());
    queue_.pop_front();
    ++taken_;
    return true;
}

void JavaScriptInterface::requestDelivery() {
    std::weak_ptr<JavaScriptInterface*> alive = alive_;
    runOnMainThread([alive] {
        if (auto self = alive.lock()) (*self)->processEvent();
    });
}

std::string JavaScriptInterface::dispatchScript(const std::string& event) {
    std::string literal = jsonQuote(event);
    // U+2028 and U+2029 end a line in older script grammars: escape them as well.
    std::string safe;
    safe.reserve(literal.size());
    for (size_t i = 0; i < literal.size(); ++i) {
        if (literal.compare(i, 3, "\xE2\x80\xA8") == 0) {
            safe += "\\u2028";
            i += 2;
        } else if (literal.compare(i, 3, "\xE2\x80\xA9") == 0) {
            safe += "\\u2029";
            i += 2;
        } else {
            safe += literal[i];
        }
    }
    return "window.$event.dispatch(" + safe + ")";
}
