#include "bridge/HostObject.h"

void HostObject::splitCallName(const std::string& name, std::string& moduleKey, std::string& function) {
    auto underscore = name.find('_');
    if (underscore == std::string::npos) {
        moduleKey = name;
        function = name;
    } else {
        moduleKey = name.substr(0, underscore);
        function = name.substr(underscore + 1);
    }
}

std::string HostObject::invoke(const std::vector<std::string>& pageArgs) const {
    if (pageArgs.empty()) return "v";
    std::string moduleKey, function;
    splitCallName(pageArgs[0], moduleKey, function);
    Args args;
    for (size_t i = 1; i < pageArgs.size() && i <= 2; ++i) args.push_back(pageArgs[i]);
    auto found = table_.find(moduleKey);
    if (found == table_.end()) return "v";
    std::string result = found->second->invoke(function, args);
    return result.empty() ? "v" : result;
}
