#pragma once

#include <string>

// Percent-decoding of an address part: "%" and two characters give the byte of those
// two hexadecimal digits (either case; any other character counts as 0); "+" gives a
// space; every other byte stays. A "%" without two more characters stays as it is.
// The result is made valid UTF-8.
std::string percentDecode(const std::string& text);

// For a "file:///" address, the local path it names (percent-decoded); false otherwise.
bool localPathOfFileAddress(const std::string& address, std::string& path);
