#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_server_info;

// Receives endpoint changes on the sound server's notification thread.
class AudioDeviceDelegate {
public:
    virtual ~AudioDeviceDelegate() = default;
    // flow: 0 render, 1 capture; role: 1 (multimedia); deviceId: the new default's name.
    virtual void audioObjectDefaultChanged(int /*flow*/, int /*role*/, const std::string& /*deviceId*/) {}
    // An endpoint appeared (state 1) or went away (state 4).
    virtual void audioObjectAddedRemoved(const std::string& /*deviceId*/, uint32_t /*state*/) {}
};

// Watches the sound server's sinks and sources and its default endpoints.
// Without a server it stays quiet and tries again now and then.
class AudioDevice {
public:
    static constexpr uint32_t kStateActive = 1;
    static constexpr uint32_t kStateNotPresent = 4;

    AudioDevice();
    ~AudioDevice();
    AudioDevice(const AudioDevice&) = delete;
    AudioDevice& operator=(const AudioDevice&) = delete;

    void setDelegate(AudioDeviceDelegate* delegate);
    // True while connected to a sound server.
    bool connected() const;

private:
    static void onState(pa_context* context, void* self);
    static void onEvent(pa_context* context, int type, uint32_t index, void* self);
    void connect();          // loop thread (or locked)
    void scheduleRetry();    // loop thread; at most one pending, with back-off
    // Whether to report is chosen by which callback is passed: the answer may never come
    // (the context can go first), so the callback carries nothing that needs freeing.
    template <bool Report>
    static void onServerInfo(pa_context* context, const pa_server_info* info, void* self);
    void refreshDefaults(bool report);
    void learnDefaults(const pa_server_info* info, bool report);
    void added(bool sink, const std::string& name, uint32_t index);
    void removed(bool sink, uint32_t index);
    void notifyAddedRemoved(const std::string& id, uint32_t state);
    void notifyDefault(int flow, const std::string& id);

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    mutable std::mutex delegateMutex_;
    AudioDeviceDelegate* delegate_ = nullptr;
    bool everConnected_ = false;
    bool ready_ = false;
    unsigned attempts_ = 0;      // connects tried so far
    bool retryPending_ = false;  // a reconnect is scheduled
    uint64_t retryDelay_ = 0;    // wait before the next reconnect, microseconds (0: the first)
    // Names of the endpoints seen, by index: a removal only carries the index.
    std::map<uint32_t, std::string> sinks_, sources_;
    std::string defaultSink_, defaultSource_;
    bool defaultsKnown_ = false;
};
