#pragma once

#include <string>
#include <vector>

// The string arguments of a bridge call, in the order the page passed them.
using Args = std::vector<std::string>;

// True exactly when the text contains one of Y, y, T, t or a digit 1 to 9.
bool toBool(const std::string& text);

// Standard decimal conversions: leading white space and a sign accepted, trailing text ignored.
// A text without digits or out of range throws, which the bridge reports as "esystem exception".
int toInt(const std::string& text);
long long toInt64(const std::string& text);
unsigned long toULong(const std::string& text);
double toDouble(const std::string& text);
float toFloat(const std::string& text);
