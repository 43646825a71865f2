#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Option arguments of bridge calls that several page calls share, read without undefined
// conversions: a text that is not the expected JSON throws (an "e" result at the bridge).

// A JSON number as an integer: truncated toward zero, clamped to [low, high] (NaN gives 0).
int64_t clampedInteger(double value, int64_t low, int64_t high);
// {"offset": number, "length": number}: both members required; each truncated to 32 bits
// as the bridge always took them (a negative length reads the whole file).
void readRangeOption(const std::string& text, int64_t& offset, int64_t& length);
// A JSON array of strings; an empty text is an empty list.
std::vector<std::string> stringListOption(const std::string& text);
