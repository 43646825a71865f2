#include "base/Json.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace {

void appendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '/': out += "\\/"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
                out += buffer;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    out += '"';
}

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    // Zero has one spelling: "-0" would read back as the integer 0 and so write differently
    // the second time, and the page's own writer prints 0 for it too.
    if (value == 0) value = 0;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    out += buffer;
}

void append(std::string& out, const Json& value) {
    switch (value.type()) {
    case Json::value_t::null: out += "null"; break;
    case Json::value_t::boolean: out += value.get<bool>() ? "true" : "false"; break;
    case Json::value_t::number_integer: appendNumber(out, static_cast<double>(value.get<int64_t>())); break;
    case Json::value_t::number_unsigned: appendNumber(out, static_cast<double>(value.get<uint64_t>())); break;
    case Json::value_t::number_float: appendNumber(out, value.get<double>()); break;
    case Json::value_t::string: appendQuoted(out, value.get_ref<const std::string&>()); break;
    case Json::value_t::array: {
        out += '[';
        bool first = true;
        for (const auto& item : value) {
            if (!first) out += ',';
            first = false;
            append(out, item);
        }
        out += ']';
        break;
    }
    case Json::value_t::object: {
        out += '{';
        bool first = true;
        for (const auto& item : value.items()) {  // std::map: ascending keys
            if (!first) out += ',';
            first = false;
            appendQuoted(out, item.key());
            out += ':';
            append(out, item.value());
        }
        out += '}';
        break;
    }
    default: out += "null"; break;
    }
}

}  // namespace

std::string jsonText(const Json& value) {
    std::string out;
    append(out, value);
    return out;
}

std::string jsonQuote(const std::string& text) {
    std::string out;
    appendQuoted(out, text);
    return out;
}

Json parseJson(const std::string& text) {
    try {
        return Json::parse(text);
    } catch (const Json::exception& e) {
        throw std::runtime_error(e.what());
    }
}
