#include "bridge/Arguments.h"

bool toBool(const std::string& text) { return text.find_first_of("YyTt123456789") != std::string::npos; }

int toInt(const std::string& text) { return std::stoi(text); }
long long toInt64(const std::string& text) { return std::stoll(text); }
unsigned long toULong(const std::string& text) { return std::stoul(text); }
double toDouble(const std::string& text) { return std::stod(text); }
float toFloat(const std::string& text) { return std::stof(text); }
