#pragma once

#include <string>
#include <sys/types.h>

// The transfer tests' HTTP server (tests/support/http_test_server.py) on 127.0.0.1 and a
// free port, storing uploads in a folder of its own. Stopped when the object goes away.
class HttpTestServer {
public:
    explicit HttpTestServer(const std::string& uploadFolder);
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    std::string url(const std::string& path) const;
    int port() const { return port_; }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int port_ = 0;
};

// The byte pattern the server sends: byte i is i % 251.
std::string servedBytes(size_t size);
