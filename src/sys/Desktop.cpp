#include "sys/Desktop.h"

#include "sys/Paths.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace {

std::string quoteExecArgument(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
        if (c == '%') out += '%';
        out += c;
    }
    return out + "\"";
}

}  // namespace

bool isValidSchemeName(const std::string& scheme) {
    if (scheme.empty() || !g_ascii_isalpha(scheme[0])) return false;
    for (char c : scheme)
        if (!g_ascii_isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

std::string registerUrlScheme(const std::string& app, const std::string& scheme, const std::string& program) {
    if (!isValidSchemeName(scheme) || program.empty()) return std::string();
    std::string folder = dataHome() + "/applications";
    if (!makeFolders(folder)) return std::string();
    std::string id = "corvane-" + app + "-url-" + scheme + ".desktop";
    std::string path = folder + "/" + id;
    std::string entry = "[Desktop Entry]\nType=Application\nName=" + app + " (" + scheme +
                        ")\nNoDisplay=true\nExec=" + quoteExecArgument(program) + " -url %u\nMimeType=x-scheme-handler/" +
                        scheme + ";\n";
    if (!writeFileAtomically(path, entry)) return std::string();
    GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(path.c_str());
    if (info) {
        std::string type = "x-scheme-handler/" + scheme;
        g_app_info_set_as_default_for_type(G_APP_INFO(info), type.c_str(), nullptr);
        g_object_unref(info);
    }
    return path;
}

bool openWithDefaultHandler(const std::string& url) {
    GError* error = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error) g_error_free(error);
    return ok;
}
