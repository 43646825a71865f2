#pragma once

#include "bridge/NativeCall.h"

// Fixed answers that keep the page library's tgif calls valid here; it keeps no state.
class NativeCall_tgif : public NativeCall {
public:
    explicit NativeCall_tgif(NativeObjects* objects);
    std::string moduleName() const override { return "tgif"; }
};
