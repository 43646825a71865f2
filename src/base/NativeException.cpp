#include "base/NativeException.h"

#include <cstring>

NativeException NativeException::fromErrno(int error) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not live in buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    return NativeException(text ? text : "Unknown error");
}
