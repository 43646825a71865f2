#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// A JACK server with the dummy backend, started for the tests and stopped with them. Sets
// JACK_DEFAULT_SERVER, JACK_NO_START_SERVER and TARN_MIDI_API=jack so that every client of
// this process (and its children) uses it.
//
// Its name is one of a few fixed ones ("tarn-test-N"), each held by a file lock while a test
// program uses it. The JACK library keeps a machine-wide table of eight server names and
// frees an entry left by a server that died without ending properly only when a server of
// the same name starts again; with a fresh name per run, a few killed runs filled the table
// and no server could start any more.
class JackServer {
public:
    // How long the server may take to answer before the start fails with what it printed.
    static constexpr std::chrono::milliseconds kStartTimeout{8000};
    static constexpr int kSlots = 6;

    // Throws std::runtime_error, with the server's own output, when none comes up.
    JackServer();
    ~JackServer();
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;
    const std::string& name() const { return name_; }

private:
    // Starts jackd under name and waits until it answers; false with the reason otherwise
    // (pid_ is then -1 when it hung, 0 when it ended by itself).
    bool start(const std::string& name, std::string& failure);

    std::string name_;
    pid_t pid_ = 0;
    int lock_ = -1;
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
