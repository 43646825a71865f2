// Paths, listings, file facts and reading and writing through the fs module.
#include "base/Json.h"
#include "modules/fs/FsTestSupport.h"
#include "sys/Paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using FsFilesTest = FsModuleTest;

TEST_F(FsFilesTest, SeparatorIsOneSlashAndPathsEndInOne) {
    EXPECT_EQ(call({"separator"}), "s/");
    EXPECT_EQ(call({"path", "Temporary"}), "s" + home.path() + "/tmp/");
    EXPECT_EQ(call({"path", "temporary"}), call({"path", "TEMPORARY"}));
    EXPECT_EQ(call({"path", "HOME"}), "s" + home.path() + "/");
    // No user-dirs.dirs: documents is the home folder, and every unknown word means documents.
    EXPECT_EQ(call({"path", "documents"}), "s" + home.path() + "/");
    EXPECT_EQ(call({"path", "whatever"}), "s" + home.path() + "/");
    EXPECT_EQ(call({"path", "music"}), "s" + home.path() + "/");

    EXPECT_EQ(call({"path", "bundle"}), "s" + home.path() + "/data/Corvane/tarn/");
    EXPECT_EQ(call({"path", "Library"}), "s" + home.path() + "/data/Corvane/tarn/data/");
    struct stat st;
    EXPECT_EQ(stat(file("data/Corvane/tarn/data").c_str(), &st), 0) << "library is created";
}

TEST_F(FsFilesTest, UserFoldersComeFromXdgUserDirsWithDocumentsAsFallback) {
    writeFile(file("config/user-dirs.dirs"),
              "# written by xdg-user-dirs-update\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n"
              "XDG_MUSIC_DIR=\"$HOME/Musik\"\n"
              "XDG_PICTURES_DIR=\"/srv/Bilder\"\n"
              "XDG_VIDEOS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(call({"path", "Music"}), "s" + home.path() + "/Musik/");
    EXPECT_EQ(call({"path", "pictures"}), "s/srv/Bilder/");
    EXPECT_EQ(call({"path", "documents"}), "s" + home.path() + "/Dokumente/");
    // Disabled (the home folder itself) and missing entries fall back to documents.
    EXPECT_EQ(call({"path", "movies"}), "s" + home.path() + "/Dokumente/");
    EXPECT_EQ(call({"path", "downloads"}), "s" + home.path() + "/Dokumente/");
}

TEST_F(FsFilesTest, ContentsListsVisibleEntriesWithTheirFacts) {
    std::string dir = file("dir");
    makeFolders(dir + "/sub");
    writeFile(dir + "/a.wav", "12345");
    writeFile(dir + "/B.WAV", "1");
    writeFile(dir + "/.hidden.wav", "1");
    writeFile(dir + "/locked.txt", "abc");
    chmod((dir + "/locked.txt").c_str(), 0444);

    Json list = parseJson(call({"contents", dir + "///"}).substr(1));
    ASSERT_TRUE(list.is_array());
    std::map<std::string, Json> byName;
    for (const Json& entry : list) byName[entry["name"]] = entry;
    EXPECT_EQ(byName.size(), 4u);
    EXPECT_EQ(byName.count(".hidden.wav"), 0u);
    EXPECT_EQ(jsonText(byName["a.wav"]),
              "{\"deletable\":true,\"directory\":false,\"name\":\"a.wav\",\"readable\":true,\"size\":5,\"writable\":true}");
    EXPECT_EQ(jsonText(byName["sub"]),
              "{\"deletable\":true,\"directory\":true,\"name\":\"sub\",\"readable\":true,\"size\":0,\"writable\":true}");
    EXPECT_EQ(byName["locked.txt"]["writable"], false);
    EXPECT_EQ(byName["locked.txt"]["deletable"], false);

    // The extension filter compares names as this file system does: exactly.
    Json wavs = parseJson(call({"contents", dir, "wav"}).substr(1));
    ASSERT_EQ(wavs.size(), 1u);
    EXPECT_EQ(wavs[0]["name"], "a.wav");
    EXPECT_EQ(call({"contents", dir + "/sub"}), "s[]");
    EXPECT_EQ(call({"contents", file("missing")}), "eNo such file or directory");
    EXPECT_EQ(call({"contents", dir + "/a.wav"}), "eNot a directory");
}

TEST_F(FsFilesTest, SubcontentsListsEverySubFolderInOneAnswer) {
    std::string dir = file("wave");
    makeFolders(dir + "/001_1");
    makeFolders(dir + "/001_2/deeper");
    writeFile(dir + "/001_1/Take.wav", "1234");
    writeFile(dir + "/001_1/.tarn-copy-x", "1");
    writeFile(dir + "/stray.wav", "1");
    Json folders = parseJson(call({"subcontents", dir}).substr(1));
    ASSERT_EQ(folders.size(), 2u);
    ASSERT_EQ(folders["001_1"].size(), 1u);
    EXPECT_EQ(folders["001_1"][0]["name"], "Take.wav");
    EXPECT_EQ(folders["001_1"][0]["size"], 4);
    EXPECT_EQ(folders["001_2"][0]["directory"], true);
    EXPECT_EQ(call({"subcontents", dir + "/001_1/"}), "s{}");
    EXPECT_EQ(call({"subcontents", file("missing")}), "eNo such file or directory");
}

TEST_F(FsFilesTest, StatReportsTheLow32BitsOfTheSize) {
    std::string big = file("big.bin");
    int fd = open(big.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 5000000000LL), 0);  // sparse: takes no space
    close(fd);
    Json facts = parseJson(call({"stat", big}).substr(1));
    EXPECT_EQ(facts["size"], 705032704);
    EXPECT_EQ(facts["name"], "big.bin");

    Json folder = parseJson(call({"stat", home.path() + "/tmp//"}).substr(1));
    EXPECT_EQ(folder["name"], "tmp");
    EXPECT_EQ(folder["directory"], true);
    EXPECT_EQ(folder["size"], 0);
    EXPECT_EQ(call({"stat", file("nothing")}), "eNo such file or directory");
}

TEST_F(FsFilesTest, DataCrossesAsUpperCaseHex) {
    std::string path = file("data.bin");
    EXPECT_EQ(call({"writeData", path, "00ab"}), "v");
    EXPECT_EQ(readFile(path), std::string("\x00\xAB", 2));
    EXPECT_EQ(call({"readData", path}), "s00AB");

    EXPECT_EQ(call({"writeData", path, "DEADBEEF"}), "v");  // replaces the content
    EXPECT_EQ(call({"readData", path, "{\"offset\":2,\"length\":3}"}), "sBEEF");
    EXPECT_EQ(call({"readData", path, "{\"length\":2,\"offset\":0}"}), "sDEAD");
    EXPECT_EQ(call({"readData", path, "{\"offset\":1,\"length\":-1}"}), "sADBEEF");
    EXPECT_EQ(call({"readData", path, "{\"offset\":9,\"length\":4}"}), "s");
    EXPECT_EQ(call({"readData", path, "{\"offset\":1,\"length\":2147483647}"}), "sADBEEF");

    // Bad options: missing member, wrong type, not an object, not JSON.
    EXPECT_EQ(call({"readData", path, "{\"offset\":2}"}), "esystem exception");
    EXPECT_EQ(call({"readData", path, "{\"offset\":\"2\",\"length\":1}"}), "esystem exception");
    EXPECT_EQ(call({"readData", path, "[2,3]"}), "esystem exception");
    EXPECT_EQ(call({"readData", path, "{offset"}), "esystem exception");
    EXPECT_EQ(call({"readData", file("missing.bin")}), "eNo such file or directory");
}

TEST_F(FsFilesTest, TextReadsUpToAZeroByteAndAppendsCreateFiles) {
    std::string path = file("text.txt");
    writeFile(path, std::string("Gr\xC3\xBC\xC3\x9F" "e\0hidden", 13));
    EXPECT_EQ(call({"readString", path}), "sGr\xC3\xBC\xC3\x9F" "e");

    std::string log = file("log.txt");
    EXPECT_EQ(call({"appendString", log, "one"}), "v");
    EXPECT_EQ(call({"appendString", log, "\xE2\x82\xAC"}), "v");
    EXPECT_EQ(call({"appendData", log, "0a21"}), "v");
    EXPECT_EQ(readFile(log), "one\xE2\x82\xAC\n!");
    EXPECT_EQ(call({"writeString", log, "new"}), "v");
    EXPECT_EQ(readFile(log), "new");

    EXPECT_EQ(call({"writeString", file("no/such/folder.txt"), "x"}), "eNo such file or directory");
    EXPECT_EQ(call({"readString", home.path()}), "eIs a directory");
    EXPECT_EQ(call({"writeString", path}), "esystem exception");  // missing argument
}

}  // namespace
