#include "webview/PageFiles.h"

#include "sys/Paths.h"

#include <glib.h>
#include <sys/stat.h>
#include <utility>

const char* pageContentType(const std::string& path) {
    static const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"}, {".htm", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"}, {".mjs", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"}, {".json", "application/json"},
        {".txt", "text/plain; charset=utf-8"}, {".svg", "image/svg+xml"},
        {".png", "image/png"}, {".jpg", "image/jpeg"}, {".jpeg", "image/jpeg"},
        {".gif", "image/gif"}, {".ico", "image/x-icon"}, {".woff2", "font/woff2"},
        {".woff", "font/woff"}, {".ttf", "font/ttf"}, {".wav", "audio/wav"},
        {".mp3", "audio/mpeg"}, {".m4a", "audio/mp4"}};
    auto dot = path.rfind('.');
    if (dot != std::string::npos) {
        std::string ext = path.substr(dot);
        for (auto& c : ext) c = static_cast<char>(g_ascii_tolower(c));
        for (const auto& t : types)
            if (ext == t.first) return t.second;
    }
    return "application/octet-stream";
}

std::string safePagePath(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::string();
    std::string out;
    size_t pos = 1;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        std::string part = path.substr(pos, next - pos);
        if (part == ".." || part.find('\\') != std::string::npos || part.find('\0') != std::string::npos)
            return std::string();
        if (!part.empty() && part != ".") {
            if (!out.empty()) out += '/';
            out += part;
        }
        pos = next + 1;
    }
    return out.empty() ? "index.html" : out;
}

bool readPageFile(const std::string& root, const std::string& requestPath, std::string& bytes, std::string& type) {
    std::string relative = safePagePath(requestPath);
    if (relative.empty()) return false;
    std::string file = withSlash(root) + relative;
    struct stat st;
    if (stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !readWholeFile(file, bytes)) return false;
    type = pageContentType(file);
    return true;
}
