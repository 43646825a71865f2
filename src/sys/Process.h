#pragma once

#include "base/Thread.h"

#include <cstdint>
#include <functional>
#include <string>

// Raw output blocks to whole UTF-8 text with "\r\n" turned into "\n". A character or a
// "\r\n" pair split between two blocks is held back until the next block completes it.
class OutputText {
public:
    // The text the block completes; may be empty when everything is held back.
    std::string next(const char* data, size_t size);
    // Whatever is still held back, at the end of the output.
    std::string rest();

private:
    std::string pending_;
};

// A command run through "/bin/sh -c" in a process group of its own, standard input and
// standard error shared with us, standard output read by this self-deleting thread in
// blocks of at most 512 bytes. Each piece of text goes to the output callback; the last
// call has empty text and marks the end of the output.
class Process : public Thread {
public:
    using Output = std::function<void(uint32_t pid, const std::string& text)>;

    // Starts the command and its reader; returns the child's process id, or 0 when the
    // command could not be started (the reader then reports only the empty end).
    static uint32_t exec(const std::string& command, Output output, const std::string& shell = "/bin/sh");
    // Ends the process group of a child we started and have not yet reaped; anything
    // else (0, other processes) is left alone.
    static void kill(uint32_t pid);

    void run() override;

private:
    Process(Output output, uint32_t pid, int readEnd) : output_(std::move(output)), pid_(pid), readEnd_(readEnd) {}
    void reap();

    Output output_;
    uint32_t pid_;
    int readEnd_;
};
