#pragma once

#include "bridge/NativeCall.h"

// Bluetooth LE as this host offers it: a stack that finds nothing and never connects.
class NativeCall_ble : public NativeCall {
public:
    explicit NativeCall_ble(NativeObjects* objects);
    std::string moduleName() const override { return "ble"; }
};
