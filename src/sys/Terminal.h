#pragma once

#include <string>

// Standard streams of a command-line run.

// Writes every byte to fd, retrying short writes; false when the stream is gone (a closed
// pipe gives EPIPE, not a signal, once ignorePipeSignal() ran).
bool writeAll(int fd, const std::string& bytes);
// A write to a closed pipe fails with EPIPE instead of ending the process. Child processes
// still start with the default action.
void ignorePipeSignal();
// The width of the terminal on fd, else fallback.
unsigned terminalColumns(int fd, unsigned fallback = 80);

// Reads one line from fd (without its "\n" or "\r\n"). Blocks until the line is complete,
// the input ends (false when nothing was read) or wakeFd becomes readable (false; what was
// read of the line is dropped). wakeFd < 0: no wake-up.
bool readLine(int fd, std::string& line, int wakeFd = -1);
