// Whole-or-nothing writes and the user's private files.
#include "support/TempHome.h"
#include "sys/FileIO.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(FileIOTest, AnAtomicWriteReplacesTheWholeFileAndAFailedOneLeavesNothingBehind) {
    TempHome home;
    const std::string path = home.file("value");
    ASSERT_TRUE(writeFileAtomically(path, "a much longer first value"));
    ASSERT_TRUE(writeFileAtomically(path, "short"));
    EXPECT_EQ(readFile(path), "short");
    EXPECT_FALSE(writeFileAtomically(home.file("no/such/folder/value"), "x"));
    // A folder in the way: the old name stays a folder and no temporary file is left.
    mkdir(home.file("taken").c_str(), 0700);
    EXPECT_FALSE(writeFileAtomically(home.file("taken"), "x"));
    EXPECT_EQ(namesIn(home.path()), (std::vector<std::string>{"config", "data", "taken", "tmp", "value"}));
}

TEST(FileIOTest, PrivateFilesAreMadeOnceAndOnlyTheUsersOwnAreRead) {
    TempHome home;
    const std::string path = home.file("key");
    ASSERT_TRUE(createPrivateFileOnce(path, "first"));
    ASSERT_TRUE(createPrivateFileOnce(path, "second"));  // there already: kept as it is
    std::string bytes;
    ASSERT_TRUE(readPrivateFile(path, 16, bytes));
    EXPECT_EQ(bytes, "first");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_TRUE(readPrivateFile(path, 3, bytes));
    EXPECT_EQ(bytes, "firs") << "one byte more than asked tells the caller it is too long";

    ASSERT_EQ(symlink(path.c_str(), home.file("link").c_str()), 0);
    EXPECT_FALSE(readPrivateFile(home.file("link"), 16, bytes));
    chmod(path.c_str(), 0640);
    EXPECT_FALSE(readPrivateFile(path, 16, bytes));
    EXPECT_FALSE(readPrivateFile(home.file("missing"), 16, bytes));
}

}  // namespace
