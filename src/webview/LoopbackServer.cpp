#include "webview/LoopbackServer.h"

#include "base/Text.h"
#include "webview/NativeRequest.h"
#include "webview/PageFiles.h"
#include "webview/UploadFile.h"
#include "base/Json.h"
#include "sys/Paths.h"

#include <libsoup/soup.h>
#include <openssl/crypto.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

// A refused request with at most this much body is read (and dropped) so that the client
// sees a proper answer on a connection that stays usable; more is never read.
constexpr goffset kDrainLimit = 64 * 1024;

void reply(SoupServerMessage* message, unsigned status, const char* type, const std::string& body) {
    soup_server_message_set_status(message, status, nullptr);
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
    soup_server_message_set_response(message, type, SOUP_MEMORY_COPY, body.data(), body.size());
}

std::string statusText(unsigned status) {
    switch (status) {
    case 400: return "bad request";
    case 403: return "forbidden";
    case 404: return "not found";
    case 405: return "method not allowed";
    case 413: return "request too large";
    case 411: return "length required";
    case 415: return "unsupported media type";
    case 507: return "no room for the file";
    case 503: return "out of memory";
    default: return "error";
    }
}

// After a refusal the connection stays open a little, unread, so that the client reads
// the answer before the close (closing with unread input resets the connection, and a
// client that has not read the answer by then loses it); then it is closed whatever the
// client still sends.
constexpr guint kLingerMs = 500;

gboolean closeLater(gpointer stream) {
    g_io_stream_close(static_cast<GIOStream*>(stream), nullptr, nullptr);
    g_object_unref(stream);
    return G_SOURCE_REMOVE;
}

// Answers on the raw connection and closes it: the request's body stays unread.
void answerAndClose(SoupServerMessage* message, unsigned status) {
    GIOStream* stream = soup_server_message_steal_connection(message);
    if (!stream) return;
    const std::string text = statusText(status);
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + soup_status_get_phrase(status) +
                       "\r\nServer: Tarn\r\nContent-Type: text/plain\r\nCache-Control: no-store\r\n"
                       "X-Content-Type-Options: nosniff\r\nConnection: close\r\nContent-Length: " +
                       std::to_string(text.size()) + "\r\n\r\n" + text;
    g_output_stream_write_all(g_io_stream_get_output_stream(stream), head.data(), head.size(), nullptr, nullptr, nullptr);
    g_output_stream_flush(g_io_stream_get_output_stream(stream), nullptr, nullptr);
    auto* socket = static_cast<GSocket*>(g_object_get_data(G_OBJECT(stream), "GSocket"));
    if (socket) g_socket_shutdown(socket, FALSE, TRUE, nullptr);
    g_timeout_add(kLingerMs, &closeLater, stream);
}

bool hasBody(SoupMessageHeaders* headers, goffset& announced) {
    SoupEncoding encoding = soup_message_headers_get_encoding(headers);
    announced = encoding == SOUP_ENCODING_CONTENT_LENGTH ? soup_message_headers_get_content_length(headers) : -1;
    if (encoding == SOUP_ENCODING_NONE) return false;
    return encoding != SOUP_ENCODING_CONTENT_LENGTH || announced > 0;
}

// Refuses from the headers: a request without a body, or with a small one, gets an
// ordinary answer; any other has its connection closed after the answer.
void refuse(SoupServerMessage* message, unsigned status) {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    goffset announced = -1;
    if (hasBody(headers, announced) && (announced < 0 || announced > kDrainLimit)) {
        answerAndClose(message, status);
        return;
    }
    reply(message, status, "text/plain", statusText(status));
    if (announced > 0) {
        soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection", "close");
        soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
    }
}

// Connections stay open between requests (a bridge call then costs one round trip on a
// warm connection instead of a connect and a teardown). libsoup 3.2 does not notice a
// client closing an idle kept-alive connection: it stays in CLOSE-WAIT, its descriptor
// held for good. So once a request is answered the connection is watched until its next
// byte: an end of stream there closes it; anything else is the next request, left to
// libsoup.
gboolean idleConnectionReadable(GSocket* socket, GIOCondition, gpointer) {
    if (g_socket_is_closed(socket)) return G_SOURCE_REMOVE;
    char next;
    ssize_t got = recv(g_socket_get_fd(socket), &next, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        g_socket_close(socket, nullptr);
    else if (got < 0)
        return G_SOURCE_CONTINUE;  // woken without data: keep watching
    return G_SOURCE_REMOVE;
}

void watchIdleConnection(SoupServer*, SoupServerMessage* message, gpointer) {
    GSocket* socket = soup_server_message_get_socket(message);
    if (!socket || g_socket_is_closed(socket)) return;
    GSource* source = g_socket_create_source(socket, G_IO_IN, nullptr);
    g_source_set_callback(source, G_SOURCE_FUNC(&idleConnectionReadable), nullptr, nullptr);
    g_source_attach(source, g_main_context_get_thread_default());
    g_source_unref(source);
}

bool jsonLike(const char* type) {
    if (!type) return true;
    return g_ascii_strncasecmp(type, "application/json", 16) == 0 || g_ascii_strncasecmp(type, "text/plain", 10) == 0;
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

namespace {

bool listenOn(SoupServer* server, GSocketFamily family, unsigned port, GError** failure) {
    GInetAddress* loopback = g_inet_address_new_loopback(family);
    GSocketAddress* address = g_inet_socket_address_new(loopback, static_cast<guint16>(port));
    g_object_unref(loopback);
    gboolean ok = soup_server_listen(server, address, static_cast<SoupServerListenOptions>(0), failure);
    g_object_unref(address);
    return ok;
}

}  // namespace

bool LoopbackServer::start(unsigned port, std::string& error) {
    server_ = soup_server_new("server-header", "Tarn", nullptr);
    soup_server_add_early_handler(server_, nullptr, &LoopbackServer::judge, this, nullptr);
    soup_server_add_handler(server_, nullptr, &LoopbackServer::handle, this, nullptr);
    g_signal_connect(server_, "request-finished", G_CALLBACK(&watchIdleConnection), nullptr);
    GError* failure = nullptr;
    if (!listenOn(server_, G_SOCKET_FAMILY_IPV4, port, &failure)) {
        error = failure ? failure->message : "cannot listen";
        if (failure) g_error_free(failure);
        return false;
    }
    GSList* uris = soup_server_get_uris(server_);
    if (uris) port_ = static_cast<unsigned>(g_uri_get_port(static_cast<GUri*>(uris->data)));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    // The same port on [::1] when it is free there, for clients that try "localhost" over IPv6.
    GError* ignored = nullptr;
    ipv6_ = listenOn(server_, G_SOCKET_FAMILY_IPV6, port_, &ignored);
    if (ignored) g_error_free(ignored);
    return true;
}

std::string LoopbackServer::pageAddress(const std::string& page) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/" + page + "?token=" + token_;
}

bool LoopbackServer::sameOrigin(SoupServerMessage* message) const {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    const char* host = soup_message_headers_get_one(headers, "Host");
    if (!host) return false;
    const std::string port = ":" + std::to_string(port_);
    const std::string given = host;
    if (given != "127.0.0.1" + port && given != "localhost" + port && !(ipv6_ && given == "[::1]" + port)) return false;
    // A page only ever calls its own origin: the Origin, when sent, names the same host.
    const char* origin = soup_message_headers_get_one(headers, "Origin");
    if (origin && ("http://" + given) != origin) return false;
    return true;
}

bool LoopbackServer::tokenMatches(SoupServerMessage* message) const {
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    const char* token = soup_message_headers_get_one(headers, "X-Tarn-Token");
    return token && strlen(token) == token_.size() && CRYPTO_memcmp(token, token_.data(), token_.size()) == 0;
}

unsigned LoopbackServer::verdict(SoupServerMessage* message, const std::string& path) const {
    if (!sameOrigin(message)) return 403;
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    const std::string method = soup_server_message_get_method(message);
    goffset announced = -1;
    const bool body = hasBody(headers, announced);
    if (path == "/upload") {
        if (method != "POST") return 405;
        if (!tokenMatches(message)) return 403;
        if (soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CONTENT_LENGTH || announced <= 0) return 411;
        unsigned status = 0;
        if (!UploadFile::fits(static_cast<unsigned long long>(announced), kMaxUpload, status)) return status;
        return 0;
    }
    if (path != "/native") {
        if (method != "GET" && method != "HEAD") return 405;
        return body ? 413 : 0;  // page files are only ever fetched
    }
    if (method != "POST") return 405;
    if (!tokenMatches(message)) return 403;
    if (!jsonLike(soup_message_headers_get_content_type(headers, nullptr))) return 415;
    if (announced > static_cast<goffset>(kMaxCallBody)) return 413;
    return 0;
}

void LoopbackServer::judge(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query, void* self) {
    auto* server = static_cast<LoopbackServer*>(self);
    const std::string requestPath = path ? path : "/";
    if (unsigned status = server->verdict(message, requestPath)) {
        refuse(message, status);
        return;
    }
    if (requestPath == "/upload") {
        server->startUpload(message, query);
        return;
    }
    // A chunked body announces no length: it is counted as it arrives.
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    if (requestPath == "/native" && soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CHUNKED)
        g_signal_connect(message, "got-chunk", G_CALLBACK(&LoopbackServer::onChunk), self);
}

void LoopbackServer::onChunk(SoupServerMessage* message, GBytes*, void* self) {
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    if (body && body->length > static_cast<goffset>(kMaxCallBody)) {
        g_signal_handlers_disconnect_by_func(message, reinterpret_cast<gpointer>(&LoopbackServer::onChunk), self);
        answerAndClose(message, 413);
    }
}

void LoopbackServer::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*, void* self) {
    auto* server = static_cast<LoopbackServer*>(self);
    // Every request passed judge() on its headers already; this runs once its body is in.
    std::string requestPath = path ? path : "/";
    if (requestPath == "/native")
        server->handleNative(message);
    else if (requestPath == "/upload")
        server->handleUpload(message);
    else
        server->handleFile(message, requestPath);
}

void LoopbackServer::handleNative(SoupServerMessage* message) {
    SoupMessageBody* body = soup_server_message_get_request_body(message);
    try {
        std::vector<std::string> args;
        bool parsed;
        {
            GBytes* bytes = soup_message_body_flatten(body);
            soup_message_body_truncate(body);  // the chunks are in bytes now
            gsize size = 0;
            const char* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
            parsed = parseNativeCall(data ? data : "", data ? size : 0, args);
            g_bytes_unref(bytes);
        }
        if (!parsed) {
            reply(message, 400, "text/plain", statusText(400));
            return;
        }
        reply(message, 200, "text/plain; charset=utf-8", utf8Sanitize(bridge_(args)));
    } catch (const std::bad_alloc&) {
        reply(message, 503, "text/plain", statusText(503));
    } catch (const std::length_error&) {
        reply(message, 503, "text/plain", statusText(503));
    }
}

void LoopbackServer::handleFile(SoupServerMessage* message, const std::string& path) {
    std::string bytes, type;
    // Browsers ask for /favicon.ico on every page: the logo answers.
    if (!readPageFile(root_, path, bytes, type) &&
        !(path == "/favicon.ico" && readPageFile(root_, "/images/tarn.svg", bytes, type))) {
        reply(message, 404, "text/plain", statusText(404));
        return;
    }
    reply(message, 200, type.c_str(), bytes);
}

void LoopbackServer::startUpload(SoupServerMessage* message, GHashTable* query) {
    const char* name = query ? static_cast<const char*>(g_hash_table_lookup(query, "name")) : nullptr;
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    auto* upload = new UploadFile();
    // Owned by the message: a body that never arrives whole takes its file with it.
    g_object_set_data_full(G_OBJECT(message), "tarn-upload", upload,
                           [](gpointer p) { delete static_cast<UploadFile*>(p); });
    if (!upload->open(temporaryFolder(), name ? name : "",
                      static_cast<unsigned long long>(soup_message_headers_get_content_length(headers)))) {
        answerAndClose(message, 507);
        return;
    }
    // Written as it comes, never held in memory.
    soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
    g_signal_connect(message, "got-chunk", G_CALLBACK(&LoopbackServer::onUploadChunk), this);
}

void LoopbackServer::onUploadChunk(SoupServerMessage* message, GBytes* chunk, void* self) {
    auto* upload = static_cast<UploadFile*>(g_object_get_data(G_OBJECT(message), "tarn-upload"));
    gsize size = 0;
    const char* data = static_cast<const char*>(g_bytes_get_data(chunk, &size));
    if (upload && upload->write(data, size)) return;
    g_signal_handlers_disconnect_by_func(message, reinterpret_cast<gpointer>(&LoopbackServer::onUploadChunk), self);
    answerAndClose(message, 507);
}

void LoopbackServer::handleUpload(SoupServerMessage* message) {
    auto* upload = static_cast<UploadFile*>(g_object_get_data(G_OBJECT(message), "tarn-upload"));
    if (!upload || !upload->finish()) {
        reply(message, 507, "text/plain", statusText(507));
        return;
    }
    reply(message, 200, "application/json", jsonText(Json{{"path", upload->path()}}));
}
