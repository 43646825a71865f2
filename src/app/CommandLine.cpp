#include "app/CommandLine.h"

#include "bridge/Text.h"

#include <cstdlib>

std::vector<std::string> commandLineEvents(const std::vector<std::string>& args) {
    std::vector<std::string> events;
    std::string verb = "open";
    for (const auto& arg : args) {
        if (arg == "-url") {
            verb = "url";
            continue;
        }
        events.push_back(makeEvent({"app", "command", verb, arg}));
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

std::string applicationName(const std::string& program) {
    std::string name = program;
    auto slash = name.rfind('/');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name.empty() ? "tarn" : name;
}
