#include "app/SingleInstance.h"

#include "sys/Paths.h"

#include <cstring>
#include <fcntl.h>
#include <gio/gio.h>
#include <gio/gunixsocketaddress.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest command line taken from another start.
const size_t maxCommandLine = 1 << 20;
const char ack = 'k';

}  // namespace

SingleInstance::SingleInstance(const std::string& appName) {
    std::string base = runtimeFolder() + "corvane." + appName + ".wndclass";
    lockPath_ = base + ".lock";
    commandLockPath_ = base + ".command.lock";
    socketPath_ = base;
}

SingleInstance::~SingleInstance() {
    if (service_) {
        g_socket_service_stop(service_);
        g_socket_listener_close(G_SOCKET_LISTENER(service_));
        g_object_unref(service_);
        unlink(socketPath_.c_str());
    }
    if (lockFd_ >= 0) close(lockFd_);
    if (commandLockFd_ >= 0) close(commandLockFd_);
}

std::string SingleInstance::runtimeFolder() {
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    struct stat st;
    if (runtime && *runtime && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
        return withSlash(runtime);
    std::string folder = temporaryFolder() + "corvane-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return withSlash(folder);
}

bool SingleInstance::acquire() {
    if (lockFd_ >= 0) return true;
    int fd = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // no lock possible: behave as the only instance
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return false;
    }
    lockFd_ = fd;
    return true;
}

bool SingleInstance::acquireForCommand() {
    // The command's own lock first: a start that finds the main lock held and this one held
    // too knows a command runs.
    if (commandLockFd_ < 0) {
        int fd = open(commandLockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            return false;
        }
        commandLockFd_ = fd;
    }
    if (acquire()) return true;
    if (commandLockFd_ >= 0) close(commandLockFd_);
    commandLockFd_ = -1;
    return false;
}

bool SingleInstance::commandRunning() const {
    int fd = open(commandLockPath_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

std::string SingleInstance::encode(const std::vector<std::string>& args) {
    std::string bytes;
    for (const auto& arg : args) {
        bytes += arg;
        bytes += '\0';
    }
    return bytes;
}

std::vector<std::string> SingleInstance::decode(const std::string& bytes) {
    std::vector<std::string> args;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\0', pos);
        if (end == std::string::npos) break;  // an unterminated tail is not an argument
        args.push_back(bytes.substr(pos, end - pos));
        pos = end + 1;
    }
    return args;
}

bool SingleInstance::handOver(const std::vector<std::string>& args) const {
    GSocketClient* client = g_socket_client_new();
    g_socket_client_set_timeout(client, 10);
    GSocketAddress* address = g_unix_socket_address_new(socketPath_.c_str());
    GSocketConnection* connection =
        g_socket_client_connect(client, G_SOCKET_CONNECTABLE(address), nullptr, nullptr);
    g_object_unref(address);
    g_object_unref(client);
    if (!connection) return false;
    std::string bytes = encode(args);
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
    bool ok = g_output_stream_write_all(out, bytes.data(), bytes.size(), nullptr, nullptr, nullptr);
    ok = ok && g_socket_shutdown(g_socket_connection_get_socket(connection), FALSE, TRUE, nullptr);
    char reply = 0;
    gsize got = 0;
    GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(connection));
    ok = ok && g_input_stream_read_all(in, &reply, 1, &got, nullptr, nullptr) && got == 1 && reply == ack;
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    g_object_unref(connection);
    return ok;
}

bool SingleInstance::listen(Receiver receiver) {
    receiver_ = std::move(receiver);
    unlink(socketPath_.c_str());  // a socket left by a start that crashed
    service_ = g_socket_service_new();
    GSocketAddress* address = g_unix_socket_address_new(socketPath_.c_str());
    mode_t old = umask(0077);
    gboolean ok = g_socket_listener_add_address(G_SOCKET_LISTENER(service_), address, G_SOCKET_TYPE_STREAM,
                                                G_SOCKET_PROTOCOL_DEFAULT, nullptr, nullptr, nullptr);
    umask(old);
    g_object_unref(address);
    if (!ok) {
        g_object_unref(service_);
        service_ = nullptr;
        return false;
    }
    g_signal_connect(service_, "incoming", G_CALLBACK(&SingleInstance::onIncoming), this);
    g_socket_service_start(service_);
    return true;
}

int SingleInstance::onIncoming(GSocketService*, GSocketConnection* connection, GObject*, void* self) {
    auto* instance = static_cast<SingleInstance*>(self);
    // Only the same user may hand over a command line.
    GCredentials* credentials =
        g_socket_get_credentials(g_socket_connection_get_socket(connection), nullptr);
    bool sameUser = credentials && g_credentials_get_unix_user(credentials, nullptr) == getuid();
    if (credentials) g_object_unref(credentials);
    if (!sameUser) return TRUE;
    // The other start sends a short text and waits: read it here, on the main loop.
    GSocket* socket = g_socket_connection_get_socket(connection);
    g_socket_set_timeout(socket, 5);
    GInputStream* in = g_io_stream_get_input_stream(G_IO_STREAM(connection));
    std::string bytes;
    char buffer[4096];
    for (;;) {
        gssize n = g_input_stream_read(in, buffer, sizeof buffer, nullptr, nullptr);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
        if (bytes.size() > maxCommandLine) return TRUE;
    }
    if (instance->receiver_) instance->receiver_(decode(bytes));
    GOutputStream* out = g_io_stream_get_output_stream(G_IO_STREAM(connection));
    g_output_stream_write_all(out, &ack, 1, nullptr, nullptr, nullptr);
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
    return TRUE;
}
