#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The body of a bridge call as both transports receive it: a JSON array of strings,
// the call name first. False when the body is anything else.
bool parseNativeCall(const std::string& body, std::vector<std::string>& args);
bool parseNativeCall(const char* body, size_t size, std::vector<std::string>& args);
