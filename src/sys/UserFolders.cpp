#include "sys/UserFolders.h"

#include "sys/Paths.h"

#include <fstream>

namespace {

// One value of user-dirs.dirs: a double-quoted path, either absolute or "$HOME/...",
// with backslash escapes.
std::string expandValue(const std::string& raw) {
    std::string value = raw;
    if (value.size() < 2 || value.front() != '"') return std::string();
    value = value.substr(1);
    std::string text;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '"') break;
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        text += value[i];
    }
    if (text.compare(0, 5, "$HOME") == 0) {
        std::string rest = text.substr(5);
        if (!rest.empty() && rest[0] != '/') return std::string();
        text = homeFolder() + rest;
    }
    if (text.empty() || text[0] != '/') return std::string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

}  // namespace

std::string userFolder(const std::string& key) {
    std::ifstream in(configHome() + "/user-dirs.dirs");
    std::string line, found;
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        size_t equals = line.find('=', start);
        if (equals == std::string::npos || line.substr(start, equals - start) != key) continue;
        found = expandValue(line.substr(equals + 1));
    }
    if (found == homeFolder()) return std::string();
    return found;
}

std::string documentsFolder() {
    std::string folder = userFolder("XDG_DOCUMENTS_DIR");
    return folder.empty() ? homeFolder() : folder;
}
