#pragma once

// FFmpeg's libraries report to the log only; the program writes no log output.
void keepFfmpegQuiet();
