#include "sys/Desktop.h"

#include "sys/Paths.h"
#include "sys/SystemInfo.h"

#include <gio/gio.h>
#include <vector>

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

// Records the entry as the user's default for the type in $XDG_CONFIG_HOME/mimeapps.list,
// keeping every other line of that file.
bool makeDefaultHandler(const std::string& desktopId, const std::string& type) {
    std::string list = configHome() + "/mimeapps.list";
    GKeyFile* file = g_key_file_new();
    g_key_file_load_from_file(file, list.c_str(), static_cast<GKeyFileFlags>(G_KEY_FILE_KEEP_COMMENTS), nullptr);
    g_key_file_set_string(file, "Default Applications", type.c_str(), desktopId.c_str());
    std::string added = desktopId + ";";
    g_key_file_set_string(file, "Added Associations", type.c_str(), added.c_str());
    gsize length = 0;
    gchar* text = g_key_file_to_data(file, &length, nullptr);
    bool ok = text && makeFolders(configHome()) && writeFileAtomically(list, std::string(text, length));
    g_free(text);
    g_key_file_free(file);
    return ok;
}

}  // namespace

bool isValidSchemeName(const std::string& scheme) {
    if (scheme.empty() || !g_ascii_isalpha(scheme[0])) return false;
    for (char c : scheme)
        if (!g_ascii_isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    return true;
}

std::string installedDesktopEntry(const std::string& program) {
    auto slash = program.rfind('/');
    if (slash == std::string::npos) return std::string();
    std::string bin = program.substr(0, slash);
    auto parent = bin.rfind('/');
    if (parent == std::string::npos || bin.substr(parent + 1) != "bin") return std::string();
    std::string entry = bin.substr(0, parent) + "/share/applications/" + applicationId() + ".desktop";
    // The entry must be the program's: its TryExec names the program's file name.
    GKeyFile* file = g_key_file_new();
    bool ours = false;
    if (g_key_file_load_from_file(file, entry.c_str(), G_KEY_FILE_NONE, nullptr)) {
        gchar* tryExec = g_key_file_get_string(file, "Desktop Entry", "TryExec", nullptr);
        ours = tryExec && program.substr(slash + 1) == tryExec;
        g_free(tryExec);
    }
    g_key_file_free(file);
    return ours ? entry : std::string();
}

std::string registerUrlScheme(const std::string& app, const std::string& scheme, const std::string& program) {
    if (!isValidSchemeName(scheme) || program.empty()) return std::string();
    std::string installed = installedDesktopEntry(program);
    if (!installed.empty()) {
        std::string id = applicationId() + ".desktop";
        return makeDefaultHandler(id, "x-scheme-handler/" + scheme) ? installed : std::string();
    }
    std::string folder = dataHome() + "/applications";
    if (!makeFolders(folder)) return std::string();
    std::string id = "corvane-" + app + "-url-" + scheme + ".desktop";
    std::string path = folder + "/" + id;
    std::string entry = "[Desktop Entry]\nType=Application\nName=" + app + " (" + scheme +
                        ")\nNoDisplay=true\nExec=" + quoteExecArgument(program) + " -url %u\nMimeType=x-scheme-handler/" +
                        scheme + ";\n";
    if (!writeFileAtomically(path, entry)) return std::string();
    if (!makeDefaultHandler(id, "x-scheme-handler/" + scheme)) return std::string();
    return path;
}

bool openWithDefaultHandler(const std::string& url) {
    GError* error = nullptr;
    gboolean ok = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &error);
    if (error) g_error_free(error);
    return ok;
}

bool openBluetoothSettings() {
    // The settings programs of the common desktops, in order of preference.
    static const std::vector<std::vector<const char*>> commands = {
        {"gnome-control-center", "bluetooth", nullptr},
        {"systemsettings", "kcm_bluetooth", nullptr},
        {"blueman-manager", nullptr},
    };
    for (const auto& command : commands) {
        gchar* program = g_find_program_in_path(command[0]);
        if (!program) continue;
        g_free(program);
        return g_spawn_async(nullptr, const_cast<gchar**>(command.data()), nullptr,
                             static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                                      G_SPAWN_STDERR_TO_DEV_NULL),
                             nullptr, nullptr, nullptr, nullptr);
    }
    return false;
}
