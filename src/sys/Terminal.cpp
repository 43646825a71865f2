#include "sys/Terminal.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void onPipeSignal(int) {}

}  // namespace

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd wait = {fd, POLLOUT, 0};
                poll(&wait, 1, -1);
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void ignorePipeSignal() {
    // A handler rather than SIG_IGN: an ignored signal would stay ignored in child processes.
    struct sigaction action = {};
    action.sa_handler = onPipeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &action, nullptr);
}

unsigned terminalColumns(int fd, unsigned fallback) {
    winsize size = {};
    if (ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return fallback;
}

bool readLine(int fd, std::string& line, int wakeFd) {
    line.clear();
    bool any = false;
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
        int n = poll(fds, wakeFd >= 0 ? 2 : 1, -1);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (wakeFd >= 0 && (fds[1].revents & POLLIN)) {
            line.clear();
            return false;
        }
        if (!fds[0].revents) continue;
        // One byte at a time: what follows the line stays in the stream for the next reader.
        char c;
        ssize_t got = read(fd, &c, 1);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return any;
        }
        if (got == 0) return any;
        any = true;
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        line += c;
    }
}
