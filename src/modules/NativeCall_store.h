#pragma once

#include "bridge/NativeCall.h"

// In-app purchases as this host offers them: a store that never answers.
class NativeCall_store : public NativeCall {
public:
    explicit NativeCall_store(NativeObjects* objects) : NativeCall(objects) {
        auto nothing = [](const Args&, CallResult&) {};
        setFunctions({{"query", nothing}, {"launchflow", nothing}, {"accept", nothing}});
    }
    std::string moduleName() const override { return "store"; }
};
