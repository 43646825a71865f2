#pragma once

#include <functional>
#include <string>
#include <vector>

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _GHashTable GHashTable;
typedef struct _GBytes GBytes;

// The headless transport: an HTTP server on 127.0.0.1 (and [::1] when it can have the same
// port there) that serves the unpacked page and answers the page's bridge calls (POST
// /native with a JSON array of strings). Calls must carry the run's token (header
// X-Tarn-Token); a Host other than this server's loopback names (127.0.0.1, localhost,
// [::1] when listened on, each with the port) or an Origin other than the Host's own is
// refused with 403; no CORS headers are sent; paths outside the page folder give 404.
//
// Every request is judged on its headers before any of its body is read: a refused
// request with more than a few bytes of body is answered and its connection closed
// without reading the body, and a bridge body over kMaxCallBody is 413.
//
// POST /upload?name=<file name> (with the token and a Content-Length of at most
// kMaxUpload, and no more than the temporary folder has room for) streams its body into
// a new temporary file and answers {"path": ...}; the file is removed when the body does
// not arrive whole. A browser page sends the files dropped onto it so.
// Runs on the GLib main context of the thread that starts it.
class LoopbackServer {
public:
    using Bridge = std::function<std::string(const std::vector<std::string>&)>;

    // The largest bridge call body: 256 MiB holds a writeData of 128 MiB of bytes as hex,
    // a track of about 12 minutes of 44.1 kHz stereo 16-bit samples (the page itself moves
    // converted files instead and never sends more than a few kilobytes).
    static constexpr size_t kMaxCallBody = size_t(256) << 20;
    // The largest upload: a 2^28-frame stereo float track, the longest a looper takes, as WAV.
    static constexpr unsigned long long kMaxUpload = 2ULL << 30;

    LoopbackServer(std::string rootFolder, Bridge bridge);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port); false with a reason on failure.
    bool start(unsigned port, std::string& error);
    unsigned port() const { return port_; }
    const std::string& token() const { return token_; }
    // Replaces the run's fresh token (one kept from run to run); before start().
    void setToken(std::string token) { token_ = std::move(token); }
    // http://127.0.0.1:<port>/<page>?token=<token>
    std::string pageAddress(const std::string& page = "index.html") const;

    // A fresh random token of 256 bits as 64 hex digits.
    static std::string newToken();

private:
    static void judge(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, void* self);
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, void* self);
    static void onChunk(SoupServerMessage* message, GBytes* chunk, void* self);
    static void onUploadChunk(SoupServerMessage* message, GBytes* chunk, void* self);
    void startUpload(SoupServerMessage* message, GHashTable* query);
    void handleUpload(SoupServerMessage* message);
    // The status that refuses the request from its headers alone, or 0 to go on.
    unsigned verdict(SoupServerMessage* message, const std::string& path) const;
    void handleNative(SoupServerMessage* message);
    void handleFile(SoupServerMessage* message, const std::string& path);
    bool sameOrigin(SoupServerMessage* message) const;
    bool tokenMatches(SoupServerMessage* message) const;

    std::string root_;
    Bridge bridge_;
    SoupServer* server_ = nullptr;
    unsigned port_ = 0;
    bool ipv6_ = false;  // also listening on [::1]
    std::string token_;
};
