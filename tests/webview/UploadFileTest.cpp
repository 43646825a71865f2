// A sent file is kept only when it arrived whole; nothing else of it stays behind.
#include "webview/UploadFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Folder {
    std::string path;
    Folder() {
        char pattern[] = "/tmp/tarn-upload-test-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder() { rmdir(path.c_str()); }
};

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

TEST(UploadFile, KeptWhenWholeWithTheSentExtensionOnly) {
    Folder folder;
    std::string kept;
    {
        UploadFile file;
        ASSERT_TRUE(file.open(folder.path, "My Loop.flac", 4));
        EXPECT_TRUE(file.write("ab", 2));
        EXPECT_FALSE(file.write("cde", 3)) << "more than announced";
        EXPECT_TRUE(file.write("cd", 2));
        ASSERT_TRUE(file.finish());
        kept = file.path();
    }
    EXPECT_EQ(kept.substr(kept.size() - 5), ".flac");
    EXPECT_EQ(kept.find(' '), std::string::npos);
    EXPECT_TRUE(exists(kept));
    unlink(kept.c_str());

    UploadFile odd;
    ASSERT_TRUE(odd.open(folder.path, "../../x.w/av", 1));
    EXPECT_EQ(odd.path().rfind(folder.path + "/tarn-upload-", 0), 0u) << odd.path();
    EXPECT_EQ(odd.path().find(".w/"), std::string::npos);
}

TEST(UploadFile, RemovedWhenShortOrRefusedWhenTooBig) {
    Folder folder;
    std::string path;
    {
        UploadFile file;
        ASSERT_TRUE(file.open(folder.path, "take.wav", 10));
        EXPECT_TRUE(file.write("abc", 3));
        EXPECT_FALSE(file.finish());
        path = file.path();
        EXPECT_TRUE(exists(path));
    }
    EXPECT_FALSE(exists(path));
    unsigned status = 0;
    EXPECT_FALSE(UploadFile::fits(11, 10, status));
    EXPECT_EQ(status, 413u);
    EXPECT_FALSE(UploadFile::fits(~0ULL >> 1, ~0ULL, status));
    EXPECT_EQ(status, 507u) << "more than the temporary folder has room for";
    EXPECT_TRUE(UploadFile::fits(1, 10, status));
}
