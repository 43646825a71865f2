#include "audio/AudioTestSupport.h"
#include "support/TempHome.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

int shell(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string shellOutput(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    pclose(pipe);
    return out;
}

void ffmpegMake(const std::string& inputAndOptions, const std::string& path) {
    std::string command = "ffmpeg -nostdin -hide_banner -v error -y " + inputAndOptions + " '" + path + "'";
    if (shell(command) != 0) throw std::runtime_error("failed: " + command);
}

std::map<std::string, std::string> probeAudio(const std::string& path) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(shellOutput("ffprobe -v error -select_streams a:0 -show_entries "
                                         "stream=codec_name,sample_rate,channels,bit_rate,sample_fmt,bits_per_sample,"
                                         "codec_tag_string:format=format_name,duration -of default=nw=1 '" +
                                         path + "'"));
    std::string line;
    while (std::getline(lines, line)) {
        auto eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

namespace {
uint32_t le(const std::string& s, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + i]);
    return v;
}
}  // namespace

WavContents readWav(const std::string& path) {
    WavContents wav;
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) return wav;
    bool haveFormat = false;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        const std::string id = bytes.substr(pos, 4);
        const uint32_t size = le(bytes, pos + 4, 4);
        const size_t body = pos + 8;
        if (id == "fmt " && body + 16 <= bytes.size()) {
            wav.tag = static_cast<uint16_t>(le(bytes, body, 2));
            wav.channels = static_cast<uint16_t>(le(bytes, body + 2, 2));
            wav.rate = le(bytes, body + 4, 4);
            wav.byteRate = le(bytes, body + 8, 4);
            wav.blockAlign = static_cast<uint16_t>(le(bytes, body + 12, 2));
            wav.bits = static_cast<uint16_t>(le(bytes, body + 14, 2));
            if (wav.tag == 0xFFFE && size >= 26) wav.tag = static_cast<uint16_t>(le(bytes, body + 24, 2));
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat || body + size > bytes.size()) return wav;
            wav.data = bytes.substr(body, size);
            wav.ok = true;
            return wav;
        }
        pos = body + size + (size & 1);
    }
    return wav;
}

std::vector<int16_t> WavContents::samples16() const {
    std::vector<int16_t> out(data.size() / 2);
    memcpy(out.data(), data.data(), out.size() * 2);
    return out;
}

std::vector<float> WavContents::samplesFloat() const {
    std::vector<float> out(data.size() / 4);
    memcpy(out.data(), data.data(), out.size() * 4);
    return out;
}

std::vector<std::string> filesStartingWith(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> found;
    for (const std::string& name : namesIn(folder))
        if (name.rfind(prefix, 0) == 0) found.push_back(name);
    return found;
}

namespace {
// TARN_SOUND_SERVER picks the server the sound tests run against: "pulseaudio" (the default)
// or "pipewire" (PipeWire with pipewire-pulse and wireplumber, as a desktop runs it).
bool wantPipeWire() {
    const char* chosen = std::getenv("TARN_SOUND_SERVER");
    const std::string name = chosen ? chosen : "";
    if (name.empty() || name == "pulseaudio") return false;
    if (name == "pipewire") return true;
    throw std::runtime_error("TARN_SOUND_SERVER must be pulseaudio or pipewire, not " + name);
}

// A child that dies with the process that started it, even when that process is killed.
void dieWithParent() { prctl(PR_SET_PDEATHSIG, SIGTERM); }
}  // namespace

PulseServer::PulseServer(const std::string& sinkName) : sink_(sinkName), pipeWire_(wantPipeWire()) {
    char pattern[] = "/tmp/tarn-pulse-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    const std::string socket = pipeWire_ ? startPipeWire() : startPulseAudio();
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (access(socket.c_str(), F_OK) == 0 && pactl("info").find("Server Name") != std::string::npos &&
            (!pipeWire_ || addPipeWireSink())) {
            silencePid_ = fork();
            if (silencePid_ == 0) {
                dieWithParent();
                const std::string device = "--device=" + sink_;
                execlp("pacat", "pacat", device.c_str(), "--latency-msec=20", "--format=s16le", "--rate=44100",
                       "--channels=2", "--raw", "/dev/zero", static_cast<char*>(nullptr));
                _exit(127);
            }
            for (int i = 0; i < 100 && pactl("list short sink-inputs").empty(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            // Once the silence plays, PulseAudio's null sink moves to the short period at its
            // next wake-up, at most two seconds away. PipeWire's runs on the graph's period.
            if (!pipeWire_) std::this_thread::sleep_for(std::chrono::milliseconds(2100));
            return;
        }
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const std::string log = shellOutput("tail -n 20 '" + dir_ + "'/*log 2>&1");
    stop();
    throw std::runtime_error(std::string("the sound server (") + (pipeWire_ ? "PipeWire" : "PulseAudio") +
                             ") did not start: " + log);
}

std::string PulseServer::startPulseAudio() {
    const std::string socket = dir_ + "/native";
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        dieWithParent();
        setenv("PULSE_RUNTIME_PATH", dir_.c_str(), 1);
        setenv("PULSE_STATE_PATH", dir_.c_str(), 1);
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("PULSE_SERVER");
        const std::string log = dir_ + "/log";
        freopen(log.c_str(), "w", stdout);
        freopen(log.c_str(), "a", stderr);
        const std::string sink = "--load=module-null-sink sink_name=" + sink_ + " rate=44100 channels=2";
        const std::string protocol = "--load=module-native-protocol-unix socket=" + socket;
        execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
               "--use-pid-file=no", "--disable-shm", protocol.c_str(), sink.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid_ < 0) throw std::runtime_error("fork failed");
    setpgid(pid_, pid_);
    return socket;
}

std::string PulseServer::startPipeWire() {
    // The script ends its servers when the read end of this pipe sees end-of-file: when the
    // test program closes it, or exits or is killed in any way. The test program's other
    // children must not hold the write end, hence close-on-exec.
    int lifeline[2];
    if (pipe2(lifeline, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        setpgid(0, 0);
        dup2(lifeline[0], STDIN_FILENO);
        const std::string log = dir_ + "/log";
        freopen(log.c_str(), "w", stdout);
        freopen(log.c_str(), "a", stderr);
        const std::string script = std::string(TARN_TEST_SUPPORT_DIR) + "/private-pipewire.sh";
        execl("/bin/sh", "sh", script.c_str(), dir_.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(lifeline[0]);
    if (pid_ < 0) {
        close(lifeline[1]);
        throw std::runtime_error("fork failed");
    }
    setpgid(pid_, pid_);
    lifeline_ = lifeline[1];
    return dir_ + "/run/pulse/native";
}

bool PulseServer::addPipeWireSink() {
    // The session manager makes the first sink the default; until it has, a client that
    // asks for the default would find none.
    if (pactl("list short sinks").find(sink_ + "\t") == std::string::npos &&
        pactl("load-module module-null-sink sink_name=" + sink_ + " rate=44100 channels=2").find("Failure") !=
            std::string::npos)
        return false;
    return pactl("get-default-sink").rfind(sink_ + "\n", 0) == 0;
}

void PulseServer::stop() {
    if (silencePid_ > 0) {
        kill(silencePid_, SIGTERM);
        waitpid(silencePid_, nullptr, 0);
        silencePid_ = -1;
    }
    if (lifeline_ >= 0) {
        close(lifeline_);
        lifeline_ = -1;
    } else if (pid_ > 0) {
        kill(pid_, SIGTERM);
    }
    if (pid_ > 0) {
        int status;
        for (int i = 0; i < 250 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pipeWire_ ? -pid_ : pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    unsetenv("PULSE_SERVER");
    shell("rm -rf '" + dir_ + "'");
}

PulseServer::~PulseServer() { stop(); }

std::string PulseServer::pactl(const std::string& arguments) const {
    return shellOutput("pactl " + arguments + " 2>&1");
}

std::string PulseServer::addSource(const std::string& name, int rate, int channels) const {
    const std::string format = " rate=" + std::to_string(rate) + " channels=" + std::to_string(channels);
    if (!pipeWire_) return pactl("load-module module-null-source source_name=" + name + format);
    // pipewire-pulse has no module-null-source: a null sink of the source class is one. The
    // session manager makes a new source the default a moment later (PulseAudio keeps the
    // monitor): wait for that, so that what a test reads next is settled.
    const std::string loaded =
        pactl("load-module module-null-sink sink_name=" + name + " media.class=Audio/Source/Virtual" + format);
    for (int i = 0; i < 250 && pactl("get-default-source").rfind(name + "\n", 0) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return loaded;
}

MonitorCapture::MonitorCapture(const std::string& sink, const std::string& file) : file_(file) {
    pid_ = fork();
    if (pid_ == 0) {
        dieWithParent();
        const std::string device = "--device=" + sink + ".monitor";
        execlp("parec", "parec", device.c_str(), "--format=s16le", "--rate=44100", "--channels=2", "--raw",
               "--latency-msec=20", file.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // parec needs a moment to connect; what plays before is not recorded.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

MonitorCapture::~MonitorCapture() { stop(); }

std::vector<int16_t> MonitorCapture::stop() {
    if (pid_ > 0) {
        kill(pid_, SIGINT);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    std::ifstream in(file_, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    std::vector<int16_t> samples(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

ToneMeasure measureTone(const std::vector<int16_t>& interleaved) {
    ToneMeasure m;
    const size_t frames = interleaved.size() / 2;
    size_t first = frames, last = 0;
    for (size_t f = 0; f < frames; ++f) {
        if (std::abs(interleaved[2 * f]) > 64) {
            first = std::min(first, f);
            last = f;
        }
    }
    if (first >= last) return m;
    m.seconds = (last - first + 1) / 44100.0;
    // Level and pitch from the middle, in 1024-frame windows; a window that a busy machine
    // left silent (an underrun) says nothing about either and is skipped.
    const size_t margin = (last - first) / 5, window = 1024;
    double sum = 0;
    size_t crossings = 0, counted = 0;
    for (size_t w = first + margin; w + window < last - margin; w += window) {
        double windowSum = 0;
        size_t windowCrossings = 0;
        bool gap = false;
        for (size_t f = w; f < w + window; ++f) {
            const double x = interleaved[2 * f];
            windowSum += x * x;
            if (f > w && (interleaved[2 * (f - 1)] < 0) != (interleaved[2 * f] < 0)) ++windowCrossings;
            // A loud tone passes zero in one step: two quiet samples in a row are a gap.
            if (f > w && std::abs(interleaved[2 * f]) < 64 && std::abs(interleaved[2 * (f - 1)]) < 64) gap = true;
        }
        if (gap) continue;
        sum += windowSum;
        crossings += windowCrossings;
        counted += window;
    }
    if (counted == 0) return m;
    m.rms = std::sqrt(sum / counted);
    m.frequency = crossings / 2.0 / ((counted - counted / window) / 44100.0);
    return m;
}
