#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _GHashTable GHashTable;

// The headless transport: an HTTP server on 127.0.0.1 that serves the unpacked page
// and answers the page's bridge calls (POST /native with a JSON array of strings).
// Calls must carry the run's token (header X-Tarn-Token); a foreign Host or Origin is
// refused with 403; no CORS headers are sent; paths outside the page folder give 404.
// Runs on the GLib main context of the thread that starts it.
class LoopbackServer {
public:
    using Bridge = std::function<std::string(const std::vector<std::string>&)>;

    LoopbackServer(std::string rootFolder, Bridge bridge);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port); false with a reason on failure.
    bool start(unsigned port, std::string& error);
    unsigned port() const { return port_; }
    const std::string& token() const { return token_; }
    // http://127.0.0.1:<port>/<page>?token=<token>
    std::string pageAddress(const std::string& page = "index.html") const;

    // A fresh random token of 256 bits as 64 hex digits.
    static std::string newToken();

private:
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, void* self);
    void handleNative(SoupServerMessage* message);
    void handleFile(SoupServerMessage* message, const std::string& path);
    bool sameOrigin(SoupServerMessage* message) const;

    std::string root_;
    Bridge bridge_;
    SoupServer* server_ = nullptr;
    unsigned port_ = 0;
    std::string token_;
};
