#pragma once

#include "base/Thread.h"

#include <cstddef>
#include <string>

// The page bundle as the executable carries it: a zip archive whose entries lie
// under "html/", and its version tag (empty when it has none).
struct BundleResource {
    const unsigned char* data = nullptr;
    size_t size = 0;
    std::string tag;
};

// The bundle built into this executable.
BundleResource builtInBundle();

// Unpacks the page bundle into the per-user data folder, once per version tag.
class Bundle : public Thread {
public:
    explicit Bundle(std::string name) : name_(std::move(name)) {}

    // $XDG_DATA_HOME/Corvane/<name>/, created when missing, ending in "/".
    static std::string dataFolder(const std::string& name);
    std::string dataFolder() const { return dataFolder(name_); }
    // dataFolder() + sub + "/", created when missing.
    std::string dataSubfolder(const std::string& sub) const;

    // Writes <tag>.zip into the data folder and unpacks it; with the same tag already
    // unpacked nothing is touched. The tag "tmp" (no tag) unpacks at every start.
    bool extract(const BundleResource& resource);
    // Unpacks the archive into the data folder, overwriting older files. Entries that
    // would land outside the folder fail the whole unpacking.
    bool unpackArchive(const std::string& archivePath);
    // Unpacks any archive into a folder (the same rules).
    static bool unpackInto(const std::string& archivePath, const std::string& folder);

    // Threaded form: extract the built-in bundle; the result is in succeeded().
    void run() override;
    bool succeeded() const { return succeeded_; }

private:
    std::string name_;
    bool succeeded_ = false;
};
