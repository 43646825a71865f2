#include "app/CommandLine.h"

#include "modules/NativeCall_app.h"

#include "sys/Desktop.h"

#include <cstdlib>
#include <glib.h>

namespace {

// The desktop starts the program with addresses (Exec=tarn %U): a file:// address opens its
// local file, an address of any other scheme is a "url" command, as after -url.
bool launcherAddress(const std::string& arg, std::string& verb, std::string& value) {
    auto colon = arg.find("://");
    if (colon == std::string::npos || !isValidSchemeName(arg.substr(0, colon))) return false;
    if (g_ascii_strncasecmp(arg.c_str(), "file://", 7) != 0) {
        verb = "url";
        value = arg;
        return true;
    }
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(arg.c_str(), &host, nullptr);
    bool local = !host || g_ascii_strcasecmp(host, "localhost") == 0;
    g_free(host);
    if (!path || !local) {
        g_free(path);
        return false;
    }
    verb = "open";
    value = path;
    g_free(path);
    return true;
}

}  // namespace

std::vector<std::string> commandLineEvents(const std::vector<std::string>& args) {
    std::vector<std::string> events;
    std::string verb = "open";
    for (const auto& arg : args) {
        if (arg == "-url") {
            verb = "url";
            continue;
        }
        std::string addressVerb, value;
        if (verb == "open" && launcherAddress(arg, addressVerb, value))
            events.push_back(NativeCall_app::commandEvent(addressVerb, value));
        else
            events.push_back(NativeCall_app::commandEvent(verb, arg));
    }
    return events;
}

Options parseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--make-catalogue") {
            if (i + 1 >= argc || !*argv[i + 1]) {
                options.error = "--make-catalogue needs a folder";
                break;
            }
            options.makeCatalogue = true;
            options.catalogueFolder = argv[++i];
        } else if (arg == "--token-file" || arg.rfind("--token-file=", 0) == 0) {
            if (arg == "--token-file") {
                if (i + 1 >= argc || !*argv[i + 1]) {
                    options.error = "--token-file needs a file";
                    break;
                }
                options.tokenFile = argv[++i];
            } else {
                options.tokenFile = arg.substr(13);
                if (options.tokenFile.empty()) {
                    options.error = "--token-file needs a file";
                    break;
                }
            }
        } else if (arg == "--port" || arg.rfind("--port=", 0) == 0) {
            std::string value;
            if (arg == "--port") {
                if (i + 1 >= argc) {
                    options.error = "--port needs a number";
                    break;
                }
                value = argv[++i];
            } else {
                value = arg.substr(7);
            }
            char* end = nullptr;
            unsigned long port = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end || port > 65535) {
                options.error = "--port needs a number from 0 to 65535";
                break;
            }
            options.port = static_cast<unsigned>(port);
        } else {
            options.pageArgs.push_back(arg);
        }
    }
    return options;
}

std::string unusableFirstArgument(const std::vector<std::string>& pageArgs) {
    if (pageArgs.empty()) return std::string();
    const std::string& first = pageArgs.front();
    std::string verb, value;
    if (first == "-url" || launcherAddress(first, verb, value)) return std::string();
    if (first.empty() || g_file_test(first.c_str(), G_FILE_TEST_EXISTS)) return std::string();
    if (first.size() > 1 && first[0] == '-') return first;  // an option this program does not have
    // A bare word (letters, digits, '-', '_') that names no file is a mistyped command. A
    // missing file with a folder or an extension goes on: the page says what is wrong with it.
    if (!g_ascii_isalpha(first[0])) return std::string();
    for (char c : first)
        if (!g_ascii_isalnum(c) && c != '-' && c != '_') return std::string();
    return first;
}

void absoluteFileArguments(std::vector<std::string>& pageArgs) {
    for (auto& arg : pageArgs) {
        if (arg == "-url") return;
        if (arg.empty() || arg[0] == '/' || !g_file_test(arg.c_str(), G_FILE_TEST_EXISTS)) continue;
        gchar* absolute = g_canonicalize_filename(arg.c_str(), nullptr);
        arg = absolute;
        g_free(absolute);
    }
}

std::string applicationName(const std::string& program) {
    std::string name = program;
    auto slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name.empty() ? "tarn" : name;
}
