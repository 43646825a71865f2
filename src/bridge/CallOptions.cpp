#include "bridge/CallOptions.h"

#include "base/Json.h"

#include <cmath>
#include <stdexcept>

int64_t clampedInteger(double value, int64_t low, int64_t high) {
    if (std::isnan(value)) return 0;
    value = std::trunc(value);
    if (value <= static_cast<double>(low)) return low;
    if (value >= static_cast<double>(high)) return high;
    return static_cast<int64_t>(value);
}

void readRangeOption(const std::string& text, int64_t& offset, int64_t& length) {
    Json options = parseJson(text);
    if (!options.is_object() || !options.contains("offset") || !options.contains("length") ||
        !options["offset"].is_number() || !options["length"].is_number())
        throw std::invalid_argument("readData options");
    offset = clampedInteger(options["offset"].get<double>(), INT32_MIN, INT32_MAX);
    length = clampedInteger(options["length"].get<double>(), INT32_MIN, INT32_MAX);
}

std::vector<std::string> stringListOption(const std::string& text) {
    std::vector<std::string> list;
    if (text.empty()) return list;
    Json value = parseJson(text);
    if (!value.is_array()) throw std::invalid_argument("a list of strings");
    for (const Json& item : value) list.push_back(item.get<std::string>());  // throws for a non-string
    return list;
}
