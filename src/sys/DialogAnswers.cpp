#include "sys/DialogAnswers.h"

#include <cstdlib>
#include <fstream>
#include <mutex>

namespace {
std::mutex answersMutex;
std::string answersFile;
size_t answersTaken = 0;

std::string configuredFile() {
    const char* file = std::getenv("TARN_DIALOG_ANSWERS");
    return file ? file : "";
}
}  // namespace

bool dialogAnswersConfigured() { return !configuredFile().empty(); }

std::string nextDialogAnswer() {
    std::lock_guard<std::mutex> lock(answersMutex);
    std::string file = configuredFile();
    if (file != answersFile) {
        answersFile = file;
        answersTaken = 0;
    }
    std::ifstream in(file);
    std::string line;
    size_t index = 0;
    bool found = false;
    while (std::getline(in, line)) {
        if (index++ == answersTaken) {
            found = true;
            break;
        }
    }
    ++answersTaken;
    if (!found) return std::string();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}
