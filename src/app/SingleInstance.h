#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _GSocketService GSocketService;

// One running window per user and application name. The first start holds a lock
// named "corvane.<app>.wndclass" in the user's runtime folder; once its window exists
// it listens on a Unix socket of that name. A later start hands its command line over
// through the socket, waits until the first has taken it, and ends; when the first has
// no window yet, nothing is handed over. A command-line run holds the lock too, and
// beside it a second lock that tells a later start a command is running.
class SingleInstance {
public:
    using Receiver = std::function<void(const std::vector<std::string>& args)>;

    explicit SingleInstance(const std::string& appName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process is the first (it holds the lock from now on).
    bool acquire();
    // A command-line run: takes the lock and marks it as held by a command. False when
    // another start (a window, a headless host or a command) holds it.
    bool acquireForCommand();
    // Whether another process holds the lock as a command-line run.
    bool commandRunning() const;
    // Second start: hands the arguments (possibly none) to the first. True when the
    // first received them.
    bool handOver(const std::vector<std::string>& args) const;
    // First start, window ready: every later start's arguments reach receiver on the
    // main loop. False when the socket cannot be made.
    bool listen(Receiver receiver);

    // The folder of the lock and socket: $XDG_RUNTIME_DIR, else a private folder
    // under the temporary folder.
    static std::string runtimeFolder();
    const std::string& socketPath() const { return socketPath_; }

    // The wire form of a command line: every argument followed by a zero byte.
    static std::string encode(const std::vector<std::string>& args);
    static std::vector<std::string> decode(const std::string& bytes);

private:
    static int onIncoming(GSocketService*, struct _GSocketConnection* connection, struct _GObject*, void* self);

    std::string lockPath_;
    std::string commandLockPath_;
    std::string socketPath_;
    int lockFd_ = -1;
    int commandLockFd_ = -1;
    GSocketService* service_ = nullptr;
    Receiver receiver_;
};
