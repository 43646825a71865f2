#pragma once

#include <nlohmann/json.hpp>

#include <string>

using Json = nlohmann::json;

// Compact text, object members in ascending key order, numbers as "%.17g",
// strings escaped as the bridge has always escaped them ("/" as "\/").
std::string jsonText(const Json& value);
// One string as a quoted JSON literal.
std::string jsonQuote(const std::string& text);
// Parses a JSON text; throws std::runtime_error on malformed input ("esystem exception").
Json parseJson(const std::string& text);
