#pragma once

#include <string>

// Where file dialogs take their answers from when no one is there to click: with the
// environment variable TARN_DIALOG_ANSWERS naming a file, each dialog takes the next line
// of that file (an empty line, or no line left, is a cancel) instead of showing a window.
// Lines are counted from the first dialog of the process; naming another file starts again.
// A dialog that takes several files takes the paths of one line separated by tabs.
bool dialogAnswersConfigured();
std::string nextDialogAnswer();
