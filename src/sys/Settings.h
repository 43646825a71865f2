#pragma once

#include <cstdint>
#include <optional>
#include <string>

// Per-user persistent values of the maker's applications, in
// $XDG_CONFIG_HOME/Corvane/settings.json: a section shared by every application
// ("deviceId") and one section per application name (window placement, "pref").
// Values are typed: a string read as a number (or the reverse) counts as missing.
// Every change rewrites the file atomically under an advisory lock.
class Settings {
public:
    // An empty section name is the shared section.
    explicit Settings(std::string section) : section_(std::move(section)) {}

    std::optional<std::string> getString(const std::string& name) const;
    std::optional<uint32_t> getNumber(const std::string& name) const;
    bool setString(const std::string& name, const std::string& value);
    bool setNumber(const std::string& name, uint32_t value);
    bool remove(const std::string& name);

    static std::string folder();    // .../Corvane/
    static std::string filePath();  // .../Corvane/settings.json

private:
    template <class Change>
    bool update(Change&& change);

    std::string section_;
};
