#include "MIDITestServers.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

pid_t spawn(const std::vector<std::string>& argv, int stdoutFd) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(stdoutFd >= 0 ? stdoutFd : null, 1);
        if (!getenv("TARN_TEST_VERBOSE")) dup2(null, 2);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) throw std::runtime_error("fork failed");
    return pid;
}

// Ends the child: SIGTERM, then SIGKILL when it has not gone after 5 s.
void finish(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 500; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

}  // namespace

JackServer::JackServer() {
    static std::atomic<int> serial{0};
    name_ = "tarn-test-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("TARN_MIDI_API", "jack", 1);
    // jack_wait can fail to open its client while the server is still settling, and a server
    // started at the same moment as another one now and then does not come up: try again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        pid_ = spawn({"jackd", "--no-realtime", "--sync", "--timeout", "5000", "-n", name_, "-d", "dummy", "-r", "44100", "-p", "128"}, -1);
        bool gone = false;
        for (int check = 0; check < 5 && !gone; ++check) {
            pid_t waiter = spawn({"jack_wait", "-w", "-t", "10", "-s", name_}, -1);
            int status = 0;
            waitpid(waiter, &status, 0);
            if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
            gone = waitpid(pid_, nullptr, WNOHANG) == pid_;  // the server has ended
            usleep(200000);
        }
        if (!gone) finish(pid_);
    }
    pid_ = 0;
    throw std::runtime_error("the JACK server " + name_ + " did not come up");
}

JackServer::~JackServer() { finish(pid_); }

LooperSim::LooperSim(const std::string& name, const std::string& model, const std::vector<std::string>& extra) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> argv{LOOPER_SIM_PATH, "--name", name, "--model", model};
    argv.insert(argv.end(), extra.begin(), extra.end());
    pid_ = spawn(argv, fds[1]);
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] { readLoop(fd); });
    if (waitForLine("ready " + name).empty()) throw std::runtime_error("looper-sim did not start");
}

LooperSim::~LooperSim() { stop(); }

void LooperSim::stop() {
    finish(pid_);
    pid_ = 0;
    if (reader_.joinable()) reader_.join();
}

void LooperSim::readLoop(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(pending.substr(0, end));
            pending.erase(0, end + 1);
            changed_.notify_all();
        }
    }
    close(fd);
}

std::string LooperSim::waitForLine(const std::function<bool(const std::string&)>& match,
                                   std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; consumed_ < lines_.size(); ++consumed_)
            if (match(lines_[consumed_])) return lines_[consumed_++];
        if (changed_.wait_until(lock, deadline) == std::cv_status::timeout && consumed_ == lines_.size()) return "";
    }
}

std::vector<std::string> LooperSim::lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

void LooperSim::skipSoFar() {
    std::lock_guard<std::mutex> lock(mutex_);
    consumed_ = lines_.size();
}
