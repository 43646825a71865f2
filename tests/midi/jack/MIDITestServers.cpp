#include "MIDITestServers.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <jack/jack.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Starts argv with stdout on stdoutFd (-1: /dev/null) and stderr on stderrFd (-1: /dev/null
// unless TARN_TEST_VERBOSE is set). The child gets SIGTERM when the thread that started it
// ends, so a test program that crashes or is killed leaves no server or simulator behind
// (the tests start them from the main thread).
pid_t spawn(const std::vector<std::string>& argv, int stdoutFd, int stderrFd = -1) {
    std::vector<char*> args;
    for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);  // the parent is already gone
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(stdoutFd >= 0 ? stdoutFd : null, 1);
        if (stderrFd >= 0) dup2(stderrFd, 2);
        else if (!getenv("TARN_TEST_VERBOSE")) dup2(null, 2);
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

void silent(const char*) {}

// What the server wrote, for the failure message.
std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = pread(fd, buffer, sizeof buffer, static_cast<off_t>(text.size()))) > 0)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// True when a server of that name answers a client.
bool answers(const std::string& server) {
    jack_status_t status;
    jack_client_t* probe = jack_client_open("tarn-test-probe",
                                            static_cast<jack_options_t>(JackNoStartServer | JackServerName), &status,
                                            server.c_str());
    if (!probe) return false;
    jack_client_close(probe);
    return true;
}

// Holds the lock of a server name slot: a file lock, so it goes with its process however
// that ends. -1 when another test program holds it.
int takeSlot(int slot) {
    std::string path = "/tmp/tarn-test-jack-" + std::to_string(getuid()) + "-" + std::to_string(slot) + ".lock";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return fd;
    close(fd);
    return -1;
}

}  // namespace

JackServer::JackServer() {
    setenv("JACK_NO_START_SERVER", "1", 1);
    setenv("TARN_MIDI_API", "jack", 1);
    // The probes below fail until the server answers; libjack need not say so each time.
    jack_set_error_function(silent);
    jack_set_info_function(silent);
    std::string failure = "found every server name in use";
    for (int slot = 0; slot < kSlots; ++slot) {
        int lock = takeSlot(slot);
        if (lock < 0) continue;
        std::string name = "tarn-test-" + std::to_string(slot);
        // A server of this name that answers though no test program holds the slot was left
        // by a run that could not stop it: leave it be and take another name.
        if (answers(name)) {
            failure = "a server left by an earlier run answers as " + name;
            close(lock);
            continue;
        }
        if (!start(name, failure)) {
            close(lock);
            if (pid_ < 0) break;  // it hung: another name will not help
            continue;
        }
        lock_ = lock;
        name_ = name;
        setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
        return;
    }
    throw std::runtime_error("the JACK server did not come up: " + failure);
}

bool JackServer::start(const std::string& name, std::string& failure) {
    // The server's own output goes to an unlinked file, read back when it does not come up.
    char logPath[] = "/tmp/tarn-jackd-XXXXXX";
    int log = mkstemp(logPath);
    if (log < 0) {
        failure = "cannot make the JACK server's log file";
        return false;
    }
    unlink(logPath);
    pid_ = spawn({"jackd", "--no-realtime", "--sync", "--timeout", "5000", "-n", name, "-d", "dummy", "-r", "44100",
                  "-p", "128"},
                 log, log);
    // The server is up when a client can open on it. It answers within a second on an idle
    // machine; a few seconds cover a loaded one, and a server that has not answered by then
    // is not going to.
    auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    std::string why;
    for (;;) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = 0;
            why = WIFEXITED(status) ? "exited with status " + std::to_string(WEXITSTATUS(status))
                                    : "was ended by signal " + std::to_string(WTERMSIG(status));
            break;
        }
        if (answers(name)) {
            close(log);
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            why = "did not answer within " + std::to_string(kStartTimeout.count()) + " ms";
            finish(pid_);
            pid_ = -1;
            break;
        }
        usleep(20000);
    }
    std::string output = readAll(log);
    close(log);
    failure = "jackd -n " + name + " " + why +
              (output.empty() ? std::string(" and printed nothing") : "; it printed:\n" + output);
    return false;
}

JackServer::~JackServer() {
    finish(pid_);
    if (lock_ >= 0) close(lock_);
}

LooperSim::LooperSim(const std::string& name, const std::string& model, const std::vector<std::string>& extra) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    std::vector<std::string> argv{LOOPER_SIM_PATH, "--name", name, "--model", model};
    argv.insert(argv.end(), extra.begin(), extra.end());
    // Its complaints (on stderr) are collected with its lines, for the failure message.
    pid_ = spawn(argv, fds[1], fds[1]);
    close(fds[1]);
    reader_ = std::thread([this, fd = fds[0]] { readLoop(fd); });
    if (waitForLine("ready " + name).empty()) {
        stop();
        std::string said;
        for (const std::string& line : lines_) said += "\n" + line;
        throw std::runtime_error("looper-sim " + name + " did not start" + (said.empty() ? "" : ":" + said));
    }
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
