#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

// The device simulator (tools/ulink-sim) as a child process: commands go to its standard
// input, its report lines are read back. It is ended when the object goes.
class UlinkSimProcess {
public:
    explicit UlinkSimProcess(const std::vector<std::string>& options);
    ~UlinkSimProcess();
    UlinkSimProcess(const UlinkSimProcess&) = delete;
    UlinkSimProcess& operator=(const UlinkSimProcess&) = delete;

    // The port its link listens on ("ready" line), 0 when it did not start.
    int linkPort() const { return linkPort_; }
    void command(const std::string& line);
    // The first report line starting with prefix not returned before; empty after the time-out.
    std::string waitLine(const std::string& prefix, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Every line read so far.
    const std::vector<std::string>& lines() const { return lines_; }
    // Reads for a while, keeping what comes.
    void drainFor(std::chrono::milliseconds time);

private:
    bool readLine(std::string& line, std::chrono::steady_clock::time_point deadline);
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
    std::vector<std::string> lines_;
    std::vector<bool> taken_;
    int linkPort_ = 0;
};

// Whether this program runs in a network namespace of its own (tests/net/ulink/in-netns.sh):
// tests that broadcast or change interfaces run only then.
bool inPrivateNetwork();
