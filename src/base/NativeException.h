#pragma once

#include <cerrno>
#include <exception>
#include <string>

// Carries the system's text for a failed operation into an "e" result.
// Any other exception escaping a module becomes "esystem exception".
class NativeException : public std::exception {
public:
    explicit NativeException(std::string message) : message_(std::move(message)) {}
    // The system's text for an errno value (strerror).
    static NativeException fromErrno(int error = errno);

    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};
