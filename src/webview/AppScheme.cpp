#include "webview/AppScheme.h"

#include "base/Text.h"
#include "sys/Paths.h"
#include "webview/NativeRequest.h"
#include "webview/PageFiles.h"

#include <glib.h>

const char* const AppScheme::scheme = "tarn";
const char* const AppScheme::host = "app";

std::string AppScheme::origin() { return std::string(scheme) + "://" + host; }

std::string AppScheme::address(const std::string& page) { return origin() + "/" + page; }

bool AppScheme::isOwnAddress(const std::string& address) {
    GUri* uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return false;
    const char* uriScheme = g_uri_get_scheme(uri);
    const char* uriHost = g_uri_get_host(uri);
    bool own = uriScheme && g_ascii_strcasecmp(uriScheme, scheme) == 0 && uriHost &&
               g_ascii_strcasecmp(uriHost, host) == 0 && g_uri_get_port(uri) == -1 && !g_uri_get_userinfo(uri);
    g_uri_unref(uri);
    return own;
}

AppScheme::AppScheme(std::string rootFolder, Bridge bridge)
    : root_(withSlash(std::move(rootFolder))), bridge_(std::move(bridge)) {}

AppScheme::Reply AppScheme::answer(const Request& request) const {
    Reply reply;
    reply.type = "text/plain; charset=utf-8";
    if (request.path == "/native") {
        std::string mime = request.contentType.substr(0, request.contentType.find(';'));
        while (!mime.empty() && mime.back() == ' ') mime.pop_back();
        if (request.method != "POST") {
            reply.status = 405;
            reply.body = "method not allowed";
        } else if ((request.hasOrigin && request.origin != origin()) ||
                   g_ascii_strcasecmp(mime.c_str(), "application/json") != 0) {
            reply.status = 403;
            reply.body = "forbidden";
        } else {
            std::vector<std::string> args;
            if (!parseNativeCall(request.body, args)) {
                reply.status = 400;
                reply.body = "bad request";
            } else {
                reply.body = utf8Sanitize(bridge_(args));
            }
        }
        return reply;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        reply.status = 405;
        reply.body = "method not allowed";
        return reply;
    }
    if (!readPageFile(root_, request.path, reply.body, reply.type)) {
        reply.status = 404;
        reply.type = "text/plain; charset=utf-8";
        reply.body = "not found";
    }
    return reply;
}
