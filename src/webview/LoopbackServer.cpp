#include "webview/LoopbackServer.h"

#include "bridge/Text.h"
#include "webview/NativeRequest.h"
#include "webview/PageFiles.h"
#include "sys/Paths.h"

#include <libsoup/soup.h>
#include <openssl/crypto.h>
#include <sys/random.h>

namespace {

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
    if (!parseNativeCall(text, args)) {
        reply(message, 400, "text/plain", "bad request");
        return;
    }
    reply(message, 200, "text/plain; charset=utf-8", utf8Sanitize(bridge_(args)));
}

void LoopbackServer::handleFile(SoupServerMessage* message, const std::string& path) {
    std::string bytes, type;
    if (!readPageFile(root_, path, bytes, type)) {
        reply(message, 404, "text/plain", "not found");
        return;
    }
    reply(message, 200, type.c_str(), bytes);
}
