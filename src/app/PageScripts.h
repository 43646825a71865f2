#pragma once

#include <string>
#include <utility>
#include <vector>

// The page's DOM-free scripts as the hosts without a web view run them: the list in
// js/cli-scripts.json of the page root, each with its text.
using PageScriptList = std::vector<std::pair<std::string, std::string>>;

// The page root: TARN_PAGE_ROOT when set (tests), else the unpacked bundle; "" with a
// reason when the bundle cannot be unpacked.
std::string pageScriptRoot(const std::string& appName, std::string& error);
// The listed scripts in order; false with a reason when the list or a script is missing or
// a listed path leaves the page root.
bool readPageScripts(const std::string& root, PageScriptList& scripts, std::string& error);
