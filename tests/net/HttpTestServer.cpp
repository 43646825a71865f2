#include "net/HttpTestServer.h"

#include <csignal>
#include <fcntl.h>
#include <cstdio>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

HttpTestServer::HttpTestServer(const std::string& uploadFolder) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::string script = std::string(TARN_TEST_SUPPORT_DIR) + "/http_test_server.py";
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        execlp(python, python, script.c_str(), uploadFolder.c_str(), (char*)nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    input_ = in[1];
    FILE* reader = fdopen(out[0], "r");
    if (!reader || fscanf(reader, "%d", &port_) != 1 || port_ <= 0) {
        if (reader) fclose(reader);
        throw std::runtime_error("the test HTTP server did not start");
    }
    fclose(reader);
}

HttpTestServer::~HttpTestServer() {
    if (input_ >= 0) close(input_);
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string HttpTestServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string servedBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
    return bytes;
}
