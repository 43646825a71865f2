#include "sys/Process.h"

#include "base/Text.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <spawn.h>
#include <system_error>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {
constexpr size_t kBlockSize = 512;

// Children started and not yet reaped: only their process groups may be killed, so a
// stale id can never hit a process that merely reuses the number.
// Never destroyed: a worker still reaping its child may outlive main's static destructors.
std::mutex& childrenMutex = *new std::mutex;
std::set<pid_t>& children = *new std::set<pid_t>;

std::string withoutCarriageReturns(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

pid_t spawnShell(const std::string& shell, const std::string& command, int writeEnd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_adddup2(&actions, writeEnd, STDOUT_FILENO);
    // Its own process group (so that kill reaches its children), default signal handling
    // and nothing blocked, whatever our threads have set up.
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    char* argv[] = {const_cast<char*>(shell.c_str()), const_cast<char*>("-c"), const_cast<char*>(command.c_str()),
                    nullptr};
    pid_t pid = 0;
    int rc = posix_spawn(&pid, shell.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : 0;
}
}

std::string OutputText::next(const char* data, size_t size) {
    pending_.append(data, size);
    size_t whole = utf8CompletePrefix(pending_);
    // A final "\r" may be the first half of a "\r\n" pair.
    if (whole > 0 && pending_[whole - 1] == '\r') --whole;
    std::string text = pending_.substr(0, whole);
    pending_.erase(0, whole);
    return utf8Sanitize(withoutCarriageReturns(text));
}

std::string OutputText::rest() {
    std::string text = utf8Sanitize(withoutCarriageReturns(pending_));
    pending_.clear();
    return text;
}

uint32_t Process::exec(const std::string& command, Output output, const std::string& shell) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
    pid_t pid;
    {
        // Registered before anyone can learn the id, and before the reader may reap it.
        std::lock_guard<std::mutex> lock(childrenMutex);
        pid = spawnShell(shell, command, ends[1]);
        if (pid > 0) children.insert(pid);
    }
    ::close(ends[1]);  // the child holds the only write end now: its exit ends our reads
    auto* reader = new Process(std::move(output), static_cast<uint32_t>(pid), ends[0]);
    if (reader->start(true) == 0) {
        delete reader;
        ::close(ends[0]);
        throw std::system_error(EAGAIN, std::generic_category());
    }
    return static_cast<uint32_t>(pid);
}

void Process::kill(uint32_t pid) {
    if (pid == 0 || pid > static_cast<uint32_t>(INT32_MAX)) return;
    std::lock_guard<std::mutex> lock(childrenMutex);
    if (children.count(static_cast<pid_t>(pid))) ::kill(-static_cast<pid_t>(pid), SIGKILL);
}

void Process::run() {
    OutputText text;
    char block[kBlockSize];
    for (;;) {
        ssize_t n = ::read(readEnd_, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        std::string piece = text.next(block, static_cast<size_t>(n));
        if (!piece.empty()) output_(pid_, piece);  // empty text is kept for the end
    }
    std::string rest = text.rest();
    if (!rest.empty()) output_(pid_, rest);
    ::close(readEnd_);
    output_(pid_, std::string());
    // A child may close its output and go on running: wait for it after the last report.
    reap();
}

void Process::reap() {
    if (pid_ == 0) return;
    const pid_t pid = static_cast<pid_t>(pid_);
    // Wait for the exit without reaping, so that the id stays ours until it leaves the list.
    siginfo_t info;
    while (waitid(P_PID, pid, &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    std::lock_guard<std::mutex> lock(childrenMutex);
    children.erase(pid);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}
