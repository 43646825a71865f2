#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Runs a shell command; its exit status (0 on success).
int shell(const std::string& command);
// Runs a shell command and returns what it printed.
std::string shellOutput(const std::string& command);
// Makes an audio file with the ffmpeg command line: "ffmpeg <inputAndOptions> <path>".
void ffmpegMake(const std::string& inputAndOptions, const std::string& path);
// The first audio stream's fields as ffprobe reports them (codec_name, sample_rate, ...).
std::map<std::string, std::string> probeAudio(const std::string& path);

// A WAV file read without the program's own reader.
struct WavContents {
    bool ok = false;
    uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
    uint32_t rate = 0, byteRate = 0;
    std::string data;
    std::vector<int16_t> samples16() const;
    std::vector<float> samplesFloat() const;
};
WavContents readWav(const std::string& path);

// Files in a folder whose names start with prefix.
std::vector<std::string> filesStartingWith(const std::string& folder, const std::string& prefix);

// A private sound server with one null sink, started for a test and stopped afterwards. Sets
// PULSE_SERVER so that every client in the process uses it. By default it is PulseAudio (no
// D-Bus); with TARN_SOUND_SERVER=pipewire it is PipeWire with wireplumber and pipewire-pulse
// on a private session bus (tests/support/private-pipewire.sh), which ends with the test
// program however that ends. Either way, clients speak PulseAudio's protocol to it.
// A null sink left idle wakes up only every two seconds (PulseAudio) or is suspended
// (wireplumber), so a stream of silence keeps it at a short latency, as a busy sound card
// would be; it adds nothing to what is measured.
class PulseServer {
public:
    explicit PulseServer(const std::string& sinkName = "tarn_null");
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // "pactl <arguments>" against this server; its output.
    std::string pactl(const std::string& arguments) const;
    // Adds a capture device of its own (not a monitor) through pactl; pactl's output. Under
    // PipeWire it has become the default source on return.
    std::string addSource(const std::string& name, int rate, int channels) const;
    const std::string& sinkName() const { return sink_; }
    bool isPipeWire() const { return pipeWire_; }
    // The process group of the server's processes (the silence player is apart), and the
    // folder that holds their sockets, configuration and logs.
    int processGroup() const { return pid_; }
    const std::string& folder() const { return dir_; }

private:
    std::string startPulseAudio();  // each returns the path of the server's socket
    std::string startPipeWire();
    bool addPipeWireSink();  // true once the sink exists and is the default
    void stop();

    std::string dir_;
    std::string sink_;
    bool pipeWire_ = false;
    int pid_ = -1;
    int lifeline_ = -1;  // PipeWire: the write end of the script's standard input
    int silencePid_ = -1;
};

// Records a sink's monitor with parec (16-bit stereo 44.1 kHz) while it lives.
class MonitorCapture {
public:
    MonitorCapture(const std::string& sink, const std::string& file);
    ~MonitorCapture();
    // Ends the capture and returns the interleaved samples.
    std::vector<int16_t> stop();

private:
    std::string file_;
    int pid_ = -1;
};

// Statistics of the part of a stereo capture that is not silent.
struct ToneMeasure {
    double seconds = 0;     // from the first to the last sound (longer when a busy machine underran)
    double rms = 0;         // left channel, over the middle of the sounding part
    double frequency = 0;   // left channel, from zero crossings
};
ToneMeasure measureTone(const std::vector<int16_t>& interleaved);
