#include "SimPorts.h"

#include <alsa/asoundlib.h>
#include <atomic>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// The gadget side of a USB-MIDI wire delivers at memory speed: ALSA's default 4 KiB input
// buffer would drop the tail of a long SysEx before the reader thread gets to it.
const size_t kInputBuffer = 1 << 20;

class RawMidiPorts : public SimPorts {
public:
    RawMidiPorts(snd_rawmidi_t* in, snd_rawmidi_t* out, Inbox& inbox) : in_(in), out_(out), inbox_(inbox) {
        reader_ = std::thread([this] { readLoop(); });
    }
    ~RawMidiPorts() override {
        stopping_ = true;
        reader_.join();
        snd_rawmidi_close(in_);
        snd_rawmidi_close(out_);
    }
    // Nothing here waits for the host to read: with no program on the computer listening
    // (a command just ended), the USB side takes nothing, and a device cannot stall on
    // that. What does not go within a moment is dropped.
    void send(const std::vector<uint8_t>& message) override {
        size_t sent = 0;
        for (int tries = 0; sent < message.size() && tries < 10; ++tries) {
            ssize_t wrote = snd_rawmidi_write(out_, message.data() + sent, message.size() - sent);
            if (wrote == -EAGAIN) {
                usleep(10000);
                continue;
            }
            if (wrote < 0) {
                lost_ = true;
                return;
            }
            sent += static_cast<size_t>(wrote);
        }
    }
    bool lost() const override { return lost_; }

private:
    void readLoop() {
        int count = snd_rawmidi_poll_descriptors_count(in_);
        std::vector<pollfd> fds(count);
        snd_rawmidi_poll_descriptors(in_, fds.data(), count);
        uint8_t buffer[4096];
        while (!stopping_ && !lost_) {
            if (poll(fds.data(), fds.size(), 100) <= 0) continue;
            unsigned short events = 0;
            snd_rawmidi_poll_descriptors_revents(in_, fds.data(), fds.size(), &events);
            if (events & (POLLERR | POLLHUP | POLLNVAL)) {
                lost_ = true;  // the cable went
                break;
            }
            ssize_t got = snd_rawmidi_read(in_, buffer, sizeof buffer);
            if (got == -EAGAIN) continue;
            if (got < 0) {
                lost_ = true;
                break;
            }
            for (ssize_t i = 0; i < got; ++i) take(buffer[i]);
        }
    }

    // Cuts the byte stream into messages: SysEx, channel messages (with running status),
    // system common and real-time messages.
    void take(uint8_t byte) {
        if (byte >= 0xF8) {
            inbox_.push({byte});
            return;
        }
        if (byte == 0xF0) {
            sysex_ = true;
            message_.assign(1, byte);
            return;
        }
        if (sysex_) {
            if (byte == 0xF7 || byte < 0x80) message_.push_back(byte);
            if (byte >= 0x80) {
                sysex_ = false;
                if (byte == 0xF7) inbox_.push(message_);
                message_.clear();
                if (byte != 0xF7) take(byte);  // a status byte ends a SysEx cut short
            }
            return;
        }
        if (byte >= 0x80) {
            status_ = byte;
            message_.assign(1, byte);
            expected_ = dataBytes(byte);
            if (expected_ == 0) {
                inbox_.push(message_);
                message_.clear();
                if (byte >= 0xF0) status_ = 0;
            }
            return;
        }
        if (status_ == 0) return;  // data without a status
        if (message_.empty()) message_.assign(1, status_);
        message_.push_back(byte);
        if (message_.size() == expected_ + 1) {
            inbox_.push(message_);
            message_.clear();
            if (status_ >= 0xF0) status_ = 0;  // system common messages set no running status
        }
    }

    static size_t dataBytes(uint8_t status) {
        switch (status & 0xF0) {
        case 0xC0:
        case 0xD0: return 1;
        case 0xF0: return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3) ? 1 : 0;
        default: return 2;
        }
    }

    snd_rawmidi_t* in_;
    snd_rawmidi_t* out_;
    Inbox& inbox_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> lost_{false};
    std::thread reader_;
    std::vector<uint8_t> message_;
    uint8_t status_ = 0;
    size_t expected_ = 0;
    bool sysex_ = false;
};

}  // namespace

std::unique_ptr<SimPorts> openRawMidiPorts(const std::string& device, Inbox& inbox, std::string& error) {
    snd_rawmidi_t* in = nullptr;
    snd_rawmidi_t* out = nullptr;
    int status = snd_rawmidi_open(&in, &out, device.c_str(), SND_RAWMIDI_NONBLOCK);
    if (status < 0) {
        error = device + ": " + snd_strerror(status);
        return nullptr;
    }
    snd_rawmidi_params_t* params = nullptr;
    snd_rawmidi_params_alloca(&params);
    snd_rawmidi_params_current(in, params);
    snd_rawmidi_params_set_buffer_size(in, params, kInputBuffer);
    if ((status = snd_rawmidi_params(in, params)) < 0) {
        error = device + ": cannot enlarge the input buffer: " + snd_strerror(status);
        snd_rawmidi_close(in);
        snd_rawmidi_close(out);
        return nullptr;
    }
    return std::make_unique<RawMidiPorts>(in, out, inbox);
}
