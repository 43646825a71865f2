#pragma once

#include "bridge/NativeCall.h"

// Text to and from the hex text of its UTF-8 bytes.
class NativeCall_util : public NativeCall {
public:
    explicit NativeCall_util(NativeObjects* objects);
    std::string moduleName() const override { return "util"; }
};
