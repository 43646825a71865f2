#include "sys/SystemInfo.h"

#include "sys/Paths.h"

#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <uuid/uuid.h>

#ifndef TARN_VERSION
#define TARN_VERSION "0.0.0.0"
#endif
#ifndef TARN_APP_ID
#define TARN_APP_ID "com.corvane.Tarn"
#endif

namespace {

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) text.pop_back();
    size_t start = text.find_first_not_of(' ');
    return start == std::string::npos ? std::string() : text.substr(start);
}

}  // namespace

std::string machineModel() {
    std::string name;
    if (readWholeFile("/sys/class/dmi/id/product_name", name)) {
        name = trimmed(name);
        if (!name.empty()) return name;
    }
    return "(Linux PC)";
}

std::string operatingSystemName() {
    struct utsname info;
    if (uname(&info) != 0) return "Linux";
    return std::string("Linux ") + info.release;
}

std::string userLocaleName(const std::string& posixLocale) {
    std::string name = posixLocale;
    auto cut = name.find_first_of(".@");
    if (cut != std::string::npos) name.resize(cut);
    if (name.empty() || name == "C" || name == "POSIX") return "en-US";
    for (auto& c : name)
        if (c == '_') c = '-';
    return name;
}

std::string userLocaleName() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return userLocaleName(value);
    }
    return userLocaleName("");
}

std::string newUuid() {
    uuid_t id;
    uuid_generate_random(id);
    char text[37];
    uuid_unparse_lower(id, text);
    return text;
}

std::string programVersion() { return TARN_VERSION; }

std::string applicationId() { return TARN_APP_ID; }

int programVersionCode() {
    std::string version = programVersion();
    size_t pos = 0;
    for (int dots = 0; dots < 3; ++dots) {
        pos = version.find('.', pos);
        if (pos == std::string::npos) return 0;
        ++pos;
    }
    return std::atoi(version.c_str() + pos) & 0xFFFF;
}

std::string utcTimestamp(long long seconds, long nanoseconds) {
    time_t t = static_cast<time_t>(seconds);
    struct tm parts;
    if (!gmtime_r(&t, &parts)) return std::string();
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, static_cast<int>(nanoseconds / 1000000));
    return buffer;
}

void executableTimes(std::string& created, std::string& modified) {
    created.clear();
    modified.clear();
    std::string path = executablePath();
    struct statx info;
    if (path.empty() || statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &info) != 0) return;
    modified = utcTimestamp(info.stx_mtime.tv_sec, info.stx_mtime.tv_nsec);
    if (info.stx_mask & STATX_BTIME)
        created = utcTimestamp(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
    else
        created = modified;
}

unsigned userId() { return getuid(); }

std::string machineId() {
    std::string id;
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"})
        if (readWholeFile(path, id) && !id.empty()) return id;
    char host[256] = {};
    gethostname(host, sizeof host - 1);
    return host;
}
