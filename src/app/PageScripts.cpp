#include "app/PageScripts.h"

#include "app/Bundle.h"
#include "base/Json.h"
#include "sys/Paths.h"

#include <cstdlib>

namespace {

const char* const scriptList = "js/cli-scripts.json";

// A listed script path that stays inside the page root.
bool safeScriptPath(const std::string& path) {
    if (path.empty() || path[0] == '/') return false;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t next = path.find('/', pos);
        if (next == std::string::npos) next = path.size();
        if (path.compare(pos, next - pos, "..") == 0 && next - pos == 2) return false;
        pos = next + 1;
    }
    return true;
}

}  // namespace

std::string pageScriptRoot(const std::string& appName, std::string& error) {
    const char* forced = getenv("TARN_PAGE_ROOT");
    if (forced && *forced) return withSlash(forced);
    Bundle bundle(appName);
    if (!bundle.extract(builtInBundle())) {
        error = "the page bundle could not be unpacked";
        return std::string();
    }
    return bundle.dataFolder() + "html/";
}

// The scripts to evaluate, in order, each with its text.
bool readPageScripts(const std::string& root, PageScriptList& scripts, std::string& error) {
    std::string listText;
    if (!readWholeFile(root + scriptList, listText)) {
        error = std::string("the command scripts are missing: the page has no ") + scriptList;
        return false;
    }
    Json list;
    try {
        list = parseJson(listText);
    } catch (const std::exception&) {
        error = std::string(scriptList) + " is not valid JSON";
        return false;
    }
    if (!list.is_array()) {
        error = std::string(scriptList) + " must be an array of paths";
        return false;
    }
    for (const auto& item : list) {
        if (!item.is_string() || !safeScriptPath(item.get<std::string>())) {
            error = std::string(scriptList) + " lists a path outside the page: " + item.dump();
            return false;
        }
        std::string path = item.get<std::string>();
        std::string text;
        if (!readWholeFile(root + path, text)) {
            error = "cannot read the command script " + path;
            return false;
        }
        scripts.emplace_back(path, std::move(text));
    }
    return true;
}

