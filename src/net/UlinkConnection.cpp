#include "net/UlinkConnection.h"

#include <algorithm>

UlinkConnection::UlinkConnection(UlinkMIDIService::Clock clock) : midi_(*this, std::move(clock)), keepAliveThread_(*this) {
    maxima_.fill(kLevelFloor);
}

UlinkConnection::~UlinkConnection() { stop(); }

void UlinkConnection::stop() {
    running_ = false;
    cancel();
    join();
    reset();
}

void UlinkConnection::connect(const UlinkDevice& device) {
    stop();
    {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        device_ = device;
    }
    midi_.reset();
    silentPings_ = 0;
    running_ = true;
    if (start(false) == 0) {
        running_ = false;
        if (delegate_) delegate_->connectFailed(device);
    }
}

void UlinkConnection::disconnect() {
    stop();
    std::lock_guard<std::mutex> lock(deviceMutex_);
    device_ = UlinkDevice();
}

bool UlinkConnection::device(UlinkDevice& device) const {
    if (!linked()) return false;
    std::lock_guard<std::mutex> lock(deviceMutex_);
    device = device_;
    return true;
}

void UlinkConnection::setTimeout(int seconds) { timeout_ = std::clamp(seconds, 0, kMaxTimeout); }

void UlinkConnection::setKeepAlive(int seconds) {
    int value = std::clamp(seconds, 0, 255);
    keepAlive_ = value;
    if (linked())
        reportFailure(sendMessage(UlinkType::KeepAlive, UlinkSubtype::Interval, std::string(1, static_cast<char>(value))));
}

void UlinkConnection::setInputMode(int mode) {
    inputMode_ = mode;
    // Sent on the link itself: this side opens no audio stream connections.
    if (linked())
        reportFailure(sendMessage(UlinkType::Audio, UlinkSubtype::InputMode, std::string(1, static_cast<char>(mode & 0xFF))));
}

void UlinkConnection::sendMIDI(const std::string& midi) {
    if (linked()) reportFailure(midi_.send(midi));
}

void UlinkConnection::reportFailure(bool sent) {
    if (sent || !delegate_) return;
    // The failed send has shut the link: the record is taken as it stands, linked or no more.
    UlinkDevice current;
    {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        current = device_;
    }
    delegate_->error(current);
}

uint32_t UlinkConnection::deviceValue(int index) const {
    std::lock_guard<std::mutex> lock(valuesMutex_);
    return index >= 0 && index < static_cast<int>(values_.size()) ? values_[static_cast<size_t>(index)] : 0;
}

std::array<int32_t, 4> UlinkConnection::levels() const {
    std::lock_guard<std::mutex> lock(valuesMutex_);
    return levels_;
}

std::array<int32_t, 4> UlinkConnection::levelMaxima() const {
    std::lock_guard<std::mutex> lock(valuesMutex_);
    return maxima_;
}

void UlinkConnection::handleMessage(const UlinkMessage& message) {
    const auto* p = reinterpret_cast<const unsigned char*>(message.payload.data());
    size_t size = message.payload.size();
    switch (message.type) {
    case UlinkType::KeepAlive:
        // The device's interval replaces ours.
        if (message.subtype == UlinkSubtype::Interval && size >= 1) keepAlive_ = p[0];
        break;
    case UlinkType::DeviceValue:
        if (message.subtype < values_.size() && size >= 4) {
            std::lock_guard<std::mutex> lock(valuesMutex_);
            values_[message.subtype] = ulinkBigEndian32(p);
        }
        break;
    case UlinkType::MIDI:
        midi_.receive(message.payload);
        break;
    case UlinkType::Levels:
        // Four big-endian signed levels, then four bytes this side does not read.
        if (size >= 16) {
            std::lock_guard<std::mutex> lock(valuesMutex_);
            for (size_t i = 0; i < levels_.size(); ++i) {
                levels_[i] = static_cast<int32_t>(ulinkBigEndian32(p + 4 * i));
                maxima_[i] = std::max(maxima_[i], levels_[i]);
            }
        }
        break;
    default:
        break;  // other types are read and ignored
    }
}

void UlinkConnection::keepAliveTick() {
    int limit = keepAlive_.load();
    if (!linked() || limit <= 0) return;
    sendMessage(UlinkType::KeepAlive, UlinkSubtype::Ping);
    if (++silentPings_ > limit) shutLink();
}

void UlinkConnection::run() {
    UlinkDevice device;
    {
        std::lock_guard<std::mutex> lock(deviceMutex_);
        device = device_;
    }
    int timeoutMs = timeout_.load() * 1000;
    if (!connectLink(device.address, device.port, timeoutMs)) {
        if (running_ && delegate_) delegate_->connectFailed(device);
        return;
    }
    if (delegate_) delegate_->connected(device);
    keepAliveThread_.rearm();
    bool pinging = keepAliveThread_.start(false) != 0;
    UlinkMessageReader reader([this](void* buffer, size_t size) { return receiveExact(buffer, size); });
    UlinkMessage message;
    while (reader.next(message) == UlinkMessageReader::Result::Message) {
        handleMessage(message);
        silentPings_ = 0;
    }
    if (pinging) {
        keepAliveThread_.stop();
        keepAliveThread_.join();
    }
    shutLink();
    markDown();
    if (running_ && delegate_) delegate_->closed(device);
}
