#pragma once

#include <cstddef>
#include <string>

// A file sent to the headless host (a file dropped onto the page in a browser, which
// gives the page its bytes but no path): written as it arrives into a new file of the
// temporary folder, named "tarn-upload-XXXXXX" with the sent file's extension. It is
// removed unless finished whole; the page removes it once it has been used.
class UploadFile {
public:
    // Refuses (false) a size over the limit or over the room left in the temporary folder.
    static bool fits(unsigned long long size, unsigned long long limit, unsigned& status);

    UploadFile() = default;
    ~UploadFile();
    UploadFile(const UploadFile&) = delete;
    UploadFile& operator=(const UploadFile&) = delete;

    // Makes the file for `expected` bytes of a file called `name`; false on failure.
    bool open(const std::string& folder, const std::string& name, unsigned long long expected);
    // Appends bytes; false when they cannot be written or go past the expected size.
    bool write(const char* data, size_t size);
    // True when every expected byte arrived and is on disk: the file is then kept.
    bool finish();
    const std::string& path() const { return path_; }

private:
    void discard();

    int fd_ = -1;
    std::string path_;
    unsigned long long expected_ = 0;
    unsigned long long written_ = 0;
    bool kept_ = false;
};
