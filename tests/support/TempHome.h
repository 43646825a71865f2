#pragma once

#include <string>
#include <vector>

// A fresh temporary folder used as HOME, XDG_CONFIG_HOME, XDG_DATA_HOME and TMPDIR for
// the lifetime of the object; removed with everything in it afterwards.
class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::string& path() const { return path_; }  // without trailing "/"
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
    std::string saved_[4];
    bool had_[4] = {};
};

// Whole file as bytes ("" when missing) and writing helpers for tests.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
// The names in a folder, hidden ones included, sorted ("." and ".." left out; none when missing).
std::vector<std::string> namesIn(const std::string& folder);
