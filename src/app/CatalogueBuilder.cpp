#include "app/CatalogueBuilder.h"

#include "audio/AudioFileInfo.h"
#include "base/Json.h"
#include "sys/FileListing.h"
#include "sys/Paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <glib.h>
#include <stdexcept>
#include <sys/stat.h>
#include <vector>

namespace {

const char kDocumentName[] = "tracksets.json";
const char kSetFileName[] = "set.json";

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string lowerExtension(const std::string& name) {
    auto dot = name.rfind('.');
    if (dot == std::string::npos) return std::string();
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = static_cast<char>(g_ascii_tolower(c));
    return ext;
}

bool isAudioName(const std::string& name) {
    std::string ext = lowerExtension(name);
    return ext == "wav" || ext == "mp3" || ext == "m4a";
}

// A name that becomes a download address safely: valid UTF-8, no control characters,
// nothing a path or an address would read as structure.
void checkName(const std::string& path, const std::string& name) {
    if (!g_utf8_validate(name.c_str(), static_cast<gssize>(name.size()), nullptr))
        throw Failure(path + ": the name is not valid UTF-8 and cannot be put into an address");
    for (unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == '\\')
            throw Failure(path + ": the name holds a control character or a backslash");
    if (name == "." || name == "..") throw Failure(path + ": not a usable name");
}

struct Entry {
    std::string name;
    bool folder = false;
};

std::vector<Entry> entriesOf(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) throw Failure(folder + ": " + g_strerror(errno));
    std::vector<Entry> entries;
    while (dirent* d = readdir(dir)) {
        std::string name = d->d_name;
        if (name.empty() || name[0] == '.') continue;
        struct stat st;
        if (stat((folder + "/" + name).c_str(), &st) != 0) continue;
        entries.push_back({name, S_ISDIR(st.st_mode)});
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

std::string stringField(const Json& object, const char* key, const std::string& file, bool required) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        if (required) throw Failure(file + ": \"" + key + "\" is missing");
        return std::string();
    }
    if (!it->is_string()) throw Failure(file + ": \"" + key + "\" must be a text");
    return it->get<std::string>();
}

// ISO 8601: a date, optionally with a time (and zone), as the page's date parsing reads it.
void checkDate(const std::string& date, const std::string& file) {
    bool ok = false;
    if (date.size() == 10) {
        int y, m, d;
        char tail;
        ok = std::sscanf(date.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) == 3 && g_date_valid_dmy(d, GDateMonth(m), y) &&
             date[4] == '-' && date[7] == '-';
    } else {
        GTimeZone* utc = g_time_zone_new_utc();
        GDateTime* time = g_date_time_new_from_iso8601(date.c_str(), utc);
        ok = time != nullptr;
        if (time) g_date_time_unref(time);
        g_time_zone_unref(utc);
    }
    if (!ok) throw Failure(file + ": \"date\" must be an ISO 8601 date such as 2026-05-01, not \"" + date + "\"");
}

Json readSetFile(const std::string& file) {
    struct stat st;
    if (stat(file.c_str(), &st) != 0) throw Failure(file + ": missing (every track set needs one)");
    std::string text;
    if (!readWholeFile(file, text)) throw Failure(file + ": cannot be read");
    Json set;
    try {
        set = Json::parse(text);
    } catch (const std::exception& e) {
        throw Failure(file + ": not valid JSON (" + e.what() + ")");
    }
    if (!set.is_object()) throw Failure(file + ": must hold a JSON object");
    return set;
}

Json makeSet(const std::string& root, const std::string& setName, int& trackCount) {
    std::string setFolder = root + "/" + setName;
    checkName(setFolder, setName);
    std::string setFile = setFolder + "/" + kSetFileName;
    Json set = readSetFile(setFile);
    std::string title = stringField(set, "title", setFile, true);
    std::string description = stringField(set, "description", setFile, true);
    std::string date = stringField(set, "date", setFile, true);
    checkDate(date, setFile);
    std::string image = stringField(set, "image", setFile, false);
    Json tracks = set.contains("tracks") ? set["tracks"] : Json::object();
    if (!tracks.is_object()) throw Failure(setFile + ": \"tracks\" must be an object keyed by file name");

    std::vector<std::string> audio;
    for (const Entry& e : entriesOf(setFolder))
        if (!e.folder && isAudioName(e.name)) audio.push_back(e.name);
    if (audio.empty()) throw Failure(setFolder + ": no audio files (.wav, .mp3, .m4a)");
    for (auto it = tracks.begin(); it != tracks.end(); ++it)
        if (std::find(audio.begin(), audio.end(), it.key()) == audio.end())
            throw Failure(setFile + ": \"tracks\" names " + it.key() + ", which is not an audio file of the set");

    std::string imageKey;
    if (!image.empty()) {
        checkName(setFolder + "/" + image, image);
        if (image.find('/') != std::string::npos) throw Failure(setFile + ": \"image\" must be a file name of the set");
        struct stat st;
        if (stat((setFolder + "/" + image).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            throw Failure(setFolder + "/" + image + ": the set's image is missing");
        imageKey = setName + "/" + image;
    }

    Json caption = Json::array();
    int number = 0;
    for (const std::string& name : audio) {
        std::string path = setFolder + "/" + name;
        checkName(path, name);
        if (!inspectAudioFile(path).readable) throw Failure(path + ": not a readable audio file");
        Json info = tracks.contains(name) ? tracks[name] : Json::object();
        if (!info.is_object()) throw Failure(setFile + ": \"tracks\"." + name + " must be an object");
        std::string trackTitle = stringField(info, "title", setFile, false);
        if (trackTitle.empty()) {
            trackTitle = name.substr(0, name.rfind('.'));
        }
        caption.push_back({{"no", ++number},
                           {"title", trackTitle},
                           {"description", stringField(info, "description", setFile, false)},
                           {"key", setName + "/" + name}});
    }
    trackCount += number;
    Json text = {{"title", title},       {"description", description}, {"image", imageKey}, {"text", ""},
                 {"youtubeurl", ""},     {"soundcloudurl", ""},        {"caption", caption}};
    return {{"date", date}, {"lang", {{"en", text}, {"ja", text}}}};
}

}  // namespace

CatalogueResult makeCatalogue(const std::string& folderArgument) {
    CatalogueResult result;
    std::string folder = withoutTrailingSlashes(folderArgument);
    try {
        struct stat st;
        if (folder.empty() || stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            throw Failure(folderArgument + ": not a folder");
        Json items = Json::array();
        for (const Entry& e : entriesOf(folder)) {
            if (!e.folder) continue;
            items.push_back(makeSet(folder, e.name, result.tracks));
            ++result.sets;
        }
        if (items.empty()) throw Failure(folder + ": no track sets (one sub-folder with a set.json per set)");
        Json document = {{"totalResults", static_cast<int>(items.size())},
                         {"items", items},
                         {"contentDomain", "./"},
                         {"ytplayerUrl", ""}};
        std::string path = folder + "/" + kDocumentName;
        // Written whole or not at all.
        if (!writeFileAtomically(path, jsonText(document) + "\n")) throw Failure(path + ": cannot be written");
        result.ok = true;
        auto count = [](int n, const char* what) { return std::to_string(n) + " " + what + (n == 1 ? "" : "s"); };
        result.message = path + ": " + count(result.sets, "track set") + ", " + count(result.tracks, "track");
    } catch (const Failure& failure) {
        result.ok = false;
        result.message = failure.what();
    }
    return result;
}
