#pragma once

#include "bridge/NativeCall.h"

// The device extension library's utility module.
class NativeCall_trnUtil : public NativeCall_extention {
public:
    NativeCall_trnUtil(NativeObjects* objects, const char* name) : NativeCall_extention(objects, name) {}
    void handle(const std::string& function, const Args& args, CallResult& result) override;
    std::vector<std::string> functionNames() const override { return {"trnLttcVer"}; }
};
