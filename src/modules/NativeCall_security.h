#pragma once

#include "bridge/NativeCall.h"

// Identifiers, digests, per-user protection of text and AES / Triple-DES over hex data.
// Failures answer the empty string, never a bridge error.
class NativeCall_security : public NativeCall {
public:
    explicit NativeCall_security(NativeObjects* objects);
    std::string moduleName() const override { return "security"; }
};
