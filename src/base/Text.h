#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

// Hex text: two upper-case digits per byte out; decoding takes pairs, accepts either case,
// counts any other character as 0 and ignores an unpaired last character.
std::string hexEncode(const void* data, size_t size);
inline std::string hexEncode(const std::string& bytes) { return hexEncode(bytes.data(), bytes.size()); }
std::string hexDecode(const std::string& hex);

// The bytes up to the first zero byte read as UTF-8; invalid sequences become U+FFFD.
std::string utf8UpToZero(const std::string& bytes);
// Replaces invalid UTF-8 sequences with U+FFFD.
std::string utf8Sanitize(const std::string& bytes);
// Length of the longest prefix that does not end inside a UTF-8 sequence.
size_t utf8CompletePrefix(const std::string& bytes);

// Event string: fields joined by form feeds (module, event, arguments...).
std::string makeEvent(std::initializer_list<std::string> fields);
