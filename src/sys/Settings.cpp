#include "sys/Settings.h"

#include "base/Json.h"
#include "sys/Paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

Json load() {
    std::string text;
    if (!readWholeFile(Settings::filePath(), text)) return Json::object();
    try {
        Json value = Json::parse(text);
        return value.is_object() ? value : Json::object();
    } catch (...) {
        return Json::object();
    }
}

const Json* findSection(const Json& root, const std::string& section) {
    const char* group = section.empty() ? "shared" : "applications";
    auto g = root.find(group);
    if (g == root.end() || !g->is_object()) return nullptr;
    if (section.empty()) return &*g;
    auto s = g->find(section);
    return s == g->end() || !s->is_object() ? nullptr : &*s;
}

Json& sectionFor(Json& root, const std::string& section) {
    Json& group = root[section.empty() ? "shared" : "applications"];
    if (!group.is_object()) group = Json::object();
    if (section.empty()) return group;
    Json& s = group[section];
    if (!s.is_object()) s = Json::object();
    return s;
}

class FileLock {
public:
    explicit FileLock(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ >= 0) flock(fd_, LOCK_EX);
    }
    ~FileLock() {
        if (fd_ >= 0) close(fd_);
    }

private:
    int fd_;
};

}  // namespace

std::string Settings::folder() { return configHome() + "/Corvane/"; }
std::string Settings::filePath() { return folder() + "settings.json"; }

std::optional<std::string> Settings::getString(const std::string& name) const {
    Json root = load();
    const Json* section = findSection(root, section_);
    if (!section) return std::nullopt;
    auto v = section->find(name);
    if (v == section->end() || !v->is_string()) return std::nullopt;
    return v->get<std::string>();
}

std::optional<uint32_t> Settings::getNumber(const std::string& name) const {
    Json root = load();
    const Json* section = findSection(root, section_);
    if (!section) return std::nullopt;
    auto v = section->find(name);
    if (v == section->end() || !v->is_number_integer()) return std::nullopt;
    return static_cast<uint32_t>(v->get<int64_t>());
}

template <class Change>
bool Settings::update(Change&& change) {
    if (!makeFolders(folder())) return false;
    FileLock lock(folder() + ".settings.lock");
    Json root = load();
    change(sectionFor(root, section_));
    return writeFileAtomically(filePath(), root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n");
}

bool Settings::setString(const std::string& name, const std::string& value) {
    return update([&](Json& section) { section[name] = value; });
}

bool Settings::setNumber(const std::string& name, uint32_t value) {
    return update([&](Json& section) { section[name] = value; });
}

bool Settings::remove(const std::string& name) {
    return update([&](Json& section) { section.erase(name); });
}
