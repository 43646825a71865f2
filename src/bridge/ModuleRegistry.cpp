#include "bridge/ModuleRegistry.h"

#include <algorithm>

bool ModuleRegistry::registerModule(std::unique_ptr<NativeCall> module) {
    bool inserted = table_.emplace("$$" + module->moduleName(), module.get()).second;
    owned_.push_back(std::move(module));
    return inserted;
}

NativeCall* ModuleRegistry::find(const std::string& key) const {
    auto found = table_.find(key);
    return found == table_.end() ? nullptr : found->second;
}

void ModuleRegistry::clear() {
    for (auto& entry : table_) {
        auto it = std::find_if(owned_.begin(), owned_.end(), [&](auto& p) { return p.get() == entry.second; });
        if (it != owned_.end()) it->reset();
    }
    table_.clear();
    owned_.clear();
}
