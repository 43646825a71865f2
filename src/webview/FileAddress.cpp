#include "webview/FileAddress.h"

#include "base/Text.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

}  // namespace

std::string percentDecode(const std::string& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%' && i + 2 < text.size()) {
            bytes += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '+') {
            bytes += ' ';
        } else {
            bytes += c;
        }
    }
    return utf8Sanitize(bytes);
}

bool localPathOfFileAddress(const std::string& address, std::string& path) {
    static const std::string prefix = "file:///";
    if (address.compare(0, prefix.size(), prefix) != 0) return false;
    path = "/" + percentDecode(address.substr(prefix.size()));
    return true;
}
