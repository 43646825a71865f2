#pragma once

#include <string>

struct AVFormatContext;

// Opens a local file for demuxing, as avformat_open_input does, but only a regular file
// (a FIFO or device would block the caller) and only through FFmpeg's file protocol: a
// name that looks like "http:..." or "concat:..." stays a file name, and nothing the file
// refers to is fetched from elsewhere. Returns FFmpeg's result (negative on failure).
int openLocalMediaInput(AVFormatContext** context, const std::string& path);
