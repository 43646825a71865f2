#include "base/Text.h"

namespace {

int nibble(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

// Length of the valid UTF-8 sequence at p (at most n bytes available), 0 when invalid.
// Returns -1 when the bytes so far are a valid but incomplete start.
int sequenceLength(const unsigned char* p, size_t n) {
    unsigned char c = p[0];
    if (c < 0x80) return 1;
    int length;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c == 0xE0) { length = 3; lo = 0xA0; }
    else if (c >= 0xE1 && c <= 0xEC) length = 3;
    else if (c == 0xED) { length = 3; hi = 0x9F; }
    else if (c >= 0xEE && c <= 0xEF) length = 3;
    else if (c == 0xF0) { length = 4; lo = 0x90; }
    else if (c >= 0xF1 && c <= 0xF3) length = 4;
    else if (c == 0xF4) { length = 4; hi = 0x8F; }
    else return 0;
    for (int i = 1; i < length; ++i) {
        if (static_cast<size_t>(i) >= n) return -1;
        unsigned char b = p[i];
        unsigned char low = i == 1 ? lo : 0x80, high = i == 1 ? hi : 0xBF;
        if (b < low || b > high) return 0;
    }
    return length;
}

}  // namespace

std::string hexEncode(const void* data, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string out(size * 2, '0');
    for (size_t i = 0; i < size; ++i) {
        out[2 * i] = digits[bytes[i] >> 4];
        out[2 * i + 1] = digits[bytes[i] & 15];
    }
    return out;
}

std::string hexDecode(const std::string& hex) {
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>((nibble(hex[i]) << 4) | nibble(hex[i + 1]));
    return out;
}

std::string utf8Sanitize(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size(), i = 0;
    while (i < n) {
        int length = sequenceLength(p + i, n - i);
        if (length > 0) {
            out.append(bytes, i, static_cast<size_t>(length));
            i += static_cast<size_t>(length);
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out;
}

std::string utf8UpToZero(const std::string& bytes) {
    auto zero = bytes.find('\0');
    return utf8Sanitize(zero == std::string::npos ? bytes : bytes.substr(0, zero));
}

size_t utf8CompletePrefix(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t n = bytes.size();
    // An incomplete sequence can only start within the last three bytes.
    size_t from = n > 3 ? n - 3 : 0;
    for (size_t i = from; i < n; ++i) {
        if (p[i] >= 0xC0 && sequenceLength(p + i, n - i) == -1) return i;
    }
    return n;
}

std::string makeEvent(std::initializer_list<std::string> fields) {
    std::string out;
    bool first = true;
    for (const auto& field : fields) {
        if (!first) out += '\f';
        first = false;
        out += field;
    }
    return out;
}
