#pragma once

#include "bridge/NativeCall.h"

#include <memory>

// Runs commands through the shell, streaming their standard output as "sh" "stdout" events.
class NativeCall_sh : public NativeCall {
public:
    explicit NativeCall_sh(NativeObjects* objects);
    ~NativeCall_sh() override;
    std::string moduleName() const override { return "sh"; }

    struct Sink;

private:
    // Shared with the output readers, which may outlive the module.
    std::shared_ptr<Sink> sink_;
};
