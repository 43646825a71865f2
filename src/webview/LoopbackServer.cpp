#include "webview/LoopbackServer.h"

#include "bridge/Json.h"
#include "bridge/Text.h"
#include "sys/Paths.h"

#include <libsoup/soup.h>
#include <openssl/crypto.h>
#include <sys/random.h>
#include <sys/stat.h>

namespace {

const char* contentType(const std::string& path) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"}, {".htm", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"}, {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"}, {".json", "application/json"},
        {".txt", "text/plain; charset=utf-8"}, {".svg", "image/svg+xml"},
        {".png", "image/png"}, {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"},
        {".gif", "image/gif"}, {".ico", "image/x-icon"}, {".woff2", "font/woff2"},
        {".woff", "font/woff"}, {".ttf", "font/ttf"}, {".wav", "audio/wav"},
        {".mp3", "audio/mpeg"}, {".m4a", "audio/mp4"}};
    auto dot = path.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = path.substr(dot);
        for (auto& c : ext) c = static_cast<char>(g_ascii_tolower(c));
        for (const auto& t : types)
            if (ext == t.first) return t.second;
    }
    return "application/octet-stream";
}

// The request path relative to the page folder, or empty when it would leave it.
std::string safePagePath(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::string();
    std::string out;
    size_t pos = 1;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        std::string part = path.substr(pos, next - pos);
        if (part == ".." || part.find('\\') != std::string::npos || part.find('\0') != std::string::npos)
            return std::string();
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        pos = next + 1;
    }
    return out.empty() ? "index.html" : out;
}

void reply(SoupServerMessage* message, unsigned status, const char* type, const std::string& body) {
    soup_server_message_set_status(message, status, nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
    soup_server_message_set_response(message, type, SOUP_MEMORY_COPY, body.data(), body.size());
}

}  // namespace

LoopbackServer::LoopbackServer(std::string rootFolder, Bridge bridge)
    : root_(withSlash(std::move(rootFolder))), bridge_(std::move(bridge)), token_(newToken()) {}

LoopbackServer::~LoopbackServer() {
    if (server_) {
        soup_server_disconnect(server_);
        g_object_unref(server_);
    }
}

std::string LoopbackServer::newToken() {
    unsigned char bytes[32];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
    }
    return hexEncode(bytes, sizeof bytes);
}

bool LoopbackServer::start(unsigned port, std::string& error) {
    server_ = soup_server_new("server-header", "Tarn", nullptr);
    soup_server_add_handler(server_, nullptr, &LoopbackServer::handle, this, nullptr);
    GError* failure = nullptr;
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* address = g_inet_socket_address_new(loopback, static_cast<guint16>(port));
    g_object_unref(loopback);
    gboolean ok = soup_server_listen(server_, address, static_cast<SoupServerListenOptions>(0), &failure);
    g_object_unref(address);
    if (!ok) {
        error = failure ? failure->message : "cannot listen";
        if (failure) g_error_free(failure);
        return false;
    }
    GSList* uris = soup_server_get_uris(server_);
    if (uris) port_ = static_cast<unsigned>(g_uri_get_port(static_cast<GUri*>(uris->data)));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    return true;
}

std::string LoopbackServer::pageAddress(const std::string& page) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + page + "?token=" + token_;
}

bool LoopbackServer::sameOrigin(SoupServerMessage* message) const {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    std::string own = "127.0.0.1:" + std::to_string(port_);
    const char* host = soup_message_headers_get_one(headers, "Host");
    if (!host || own != host) return false;
    const char* origin = soup_message_headers_get_one(headers, "Origin");
    if (origin && ("http://" + own) != origin) return false;
    return true;
}

void LoopbackServer::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, void* self) {
    auto* server = static_cast<LoopbackServer*>(self);
    if (!server->sameOrigin(message)) {
        reply(message, 403, "text/plain", "forbidden");
        return;
    }
    std::string method = soup_server_message_get_method(message);
    std::string requestPath = path ? path : "/";
    if (requestPath == "/native") {
        if (method != "POST") {
            reply(message, 405, "text/plain", "method not allowed");
            return;
        }
        server->handleNative(message);
    } else if (method == "GET" || method == "HEAD") {
        server->handleFile(message, requestPath);
    } else {
        reply(message, 405, "text/plain", "method not allowed");
    }
}

void LoopbackServer::handleNative(SoupServerMessage* message) {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    const char* token = soup_message_headers_get_one(headers, "X-Tarn-Token");
    if (!token || strlen(token) != token_.size() || CRYPTO_memcmp(token, token_.data(), token_.size()) != 0) {
        reply(message, 403, "text/plain", "forbidden");
        return;
    }
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    GBytes* bytes = soup_message_body_flatten(body);
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    std::string text(data ? data : "", size);
    g_bytes_unref(bytes);
    std::vector<std::string> args;
    try {
        Json call = Json::parse(text);
        if (!call.is_array()) throw std::runtime_error("not an array");
        for (const auto& item : call) {
            if (!item.is_string()) throw std::runtime_error("not a string");
            args.push_back(item.get<std::string>());
        }
    } catch (...) {
        reply(message, 400, "text/plain", "bad request");
        return;
    }
    reply(message, 200, "text/plain; charset=utf-8", utf8Sanitize(bridge_(args)));
}

void LoopbackServer::handleFile(SoupServerMessage* message, const std::string& path) {
    std::string relative = safePagePath(path);
    std::string file = root_ + relative;
    struct stat st;
    std::string bytes;
    if (relative.empty() || stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !readWholeFile(file, bytes)) {
        reply(message, 404, "text/plain", "not found");
        return;
    }
    reply(message, 200, contentType(file), bytes);
}
