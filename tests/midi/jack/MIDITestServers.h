#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A JACK server with the dummy backend, named uniquely for this process, started for the
// tests and stopped with them. Sets JACK_DEFAULT_SERVER, JACK_NO_START_SERVER and
// TARN_MIDI_API=jack so that every client of this process (and its children) uses it.
class JackServer {
public:
    // How long the server may take to answer before the start fails with what it printed.
    static constexpr std::chrono::milliseconds kStartTimeout{8000};

    JackServer();
    ~JackServer();
    const std::string& name() const { return name_; }

private:
    std::string name_;
    pid_t pid_ = 0;
};

// A running looper-sim whose stdout lines are collected.
class LooperSim {
public:
    LooperSim(const std::string& name, const std::string& model, const std::vector<std::string>& extra = {});
    // Stops the simulator (SIGTERM) and waits for it.
    ~LooperSim();
    void stop();

    // Waits until a line (after the ones already consumed by earlier waits) matches; returns it,
    // or "" after the timeout.
    std::string waitForLine(const std::function<bool(const std::string&)>& match,
                            std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::string waitForLine(const std::string& exact, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return waitForLine([&](const std::string& line) { return line == exact; }, timeout);
    }
    std::vector<std::string> lines();
    // Marks every line so far as consumed.
    void skipSoFar();

private:
    void readLoop(int fd);

    pid_t pid_ = 0;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> lines_;
    size_t consumed_ = 0;
};
