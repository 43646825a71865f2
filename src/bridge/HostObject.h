#pragma once

#include "bridge/ModuleRegistry.h"

#include <string>
#include <vector>

// The object the page calls: splits the call name, routes it to a module and
// returns the tagged result. Knows nothing of how the page reaches it.
class HostObject {
public:
    explicit HostObject(const ModuleTable& table) : table_(table) {}

    // pageArgs[0] is the call name ("$$module_function"), then up to two arguments;
    // further arguments are ignored. Never returns an empty text.
    std::string invoke(const std::vector<std::string>& pageArgs) const;

    // Splits at the first underscore; without one both parts are the whole name.
    static void splitCallName(const std::string& name, std::string& moduleKey, std::string& function);

private:
    ModuleTable table_;
};
