#pragma once

#include "bridge/NativeCall.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// Module key ("$$" + module name) to module; the entries do not own the modules.
using ModuleTable = std::map<std::string, NativeCall*>;

// Owns the registered modules. A key already present keeps the earlier module.
class ModuleRegistry {
public:
    ModuleRegistry() = default;
    ~ModuleRegistry() { clear(); }
    ModuleRegistry(const ModuleRegistry&) = delete;
    ModuleRegistry& operator=(const ModuleRegistry&) = delete;

    // Returns false when the key was taken already (the module is still owned and deleted later).
    bool registerModule(std::unique_ptr<NativeCall> module);
    const ModuleTable& table() const { return table_; }
    NativeCall* find(const std::string& key) const;
    // Deletes every module, in key order.
    void clear();

private:
    ModuleTable table_;
    std::vector<std::unique_ptr<NativeCall>> owned_;
};
