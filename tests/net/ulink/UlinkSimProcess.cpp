#include "UlinkSimProcess.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

UlinkSimProcess::UlinkSimProcess(const std::vector<std::string>& options) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    std::vector<std::string> words{ULINK_SIM_PATH};
    words.insert(words.end(), options.begin(), options.end());
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        std::vector<char*> argv;
        for (auto& word : words) argv.push_back(&word[0]);
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    in_ = in[1];
    out_ = out[0];
    std::string ready = waitLine("ready link ");
    if (!ready.empty()) linkPort_ = std::atoi(ready.c_str() + 11);
}

UlinkSimProcess::~UlinkSimProcess() {
    if (in_ >= 0) ::close(in_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
}

void UlinkSimProcess::command(const std::string& line) {
    std::string text = line + "\n";
    if (::write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) std::abort();
}

bool UlinkSimProcess::readLine(std::string& line, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        size_t end = buffer_.find('\n');
        if (end != std::string::npos) {
            line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return true;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd entry{out_, POLLIN, 0};
        if (poll(&entry, 1, static_cast<int>(left.count())) <= 0) continue;
        char chunk[4096];
        ssize_t got = ::read(out_, chunk, sizeof chunk);
        if (got <= 0) return false;
        buffer_.append(chunk, static_cast<size_t>(got));
    }
}

std::string UlinkSimProcess::waitLine(const std::string& prefix, std::chrono::milliseconds timeout) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (size_t i = 0;; ++i) {
        if (i == lines_.size()) {
            std::string line;
            if (!readLine(line, deadline)) return std::string();
            lines_.push_back(line);
            taken_.push_back(false);
        }
        if (!taken_[i] && lines_[i].compare(0, prefix.size(), prefix) == 0) {
            taken_[i] = true;
            return lines_[i];
        }
    }
}

void UlinkSimProcess::drainFor(std::chrono::milliseconds time) {
    auto deadline = std::chrono::steady_clock::now() + time;
    std::string line;
    while (readLine(line, deadline)) {
        lines_.push_back(line);
        taken_.push_back(false);
    }
}

bool inPrivateNetwork() {
    const char* flag = getenv("TARN_TEST_PRIVATE_NETWORK");
    return flag && *flag == '1';
}
