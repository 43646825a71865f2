#include "support/TempHome.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {
const char* kVariables[4] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "TMPDIR"};
}

TempHome::TempHome() {
    char pattern[] = "/tmp/tarn-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    std::system(("mkdir -p '" + path_ + "/config' '" + path_ + "/data' '" + path_ + "/tmp'").c_str());
    const std::string values[4] = {path_, path_ + "/config", path_ + "/data", path_ + "/tmp"};
    for (int i = 0; i < 4; ++i) {
        const char* old = std::getenv(kVariables[i]);
        had_[i] = old != nullptr;
        if (old) saved_[i] = old;
        setenv(kVariables[i], values[i].c_str(), 1);
    }
}

TempHome::~TempHome() {
    for (int i = 0; i < 4; ++i) {
        if (had_[i])
            setenv(kVariables[i], saved_[i].c_str(), 1);
        else
            unsetenv(kVariables[i]);
    }
    std::system(("chmod -R u+rwx '" + path_ + "' 2>/dev/null; rm -rf '" + path_ + "'").c_str());
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}
