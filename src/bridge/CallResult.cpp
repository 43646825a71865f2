#include "bridge/CallResult.h"

#include <cstdio>

void CallResult::setFloat(float value) {
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
    text_ = std::string("f") + buffer;
}
