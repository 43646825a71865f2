#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the page learns about one directory entry.
struct FileFacts {
    std::string name;        // no folder part
    uint32_t size = 0;       // low 32 bits of the size; 0 for folders
    bool directory = false;
    bool writable = false;   // the owner, group or others may write it as the mode says
};

// Path with every trailing "/" removed ("/" itself stays).
std::string withoutTrailingSlashes(std::string path);

// The visible entries of a folder (names starting with "." are hidden), in the order the
// file system returns them; with an extension only the files and folders whose names end
// in "." + extension, compared as the file system compares (exactly).
// Throws NativeException with the system's text when the folder cannot be listed.
std::vector<FileFacts> listFolder(const std::string& folder, const std::string& extension);
// The facts of one entry; throws NativeException when nothing is found there.
FileFacts statEntry(const std::string& path);
