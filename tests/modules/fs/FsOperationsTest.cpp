// Folders, deleting, copying, moving and unzipping through the fs module.
#include "modules/fs/FsTestSupport.h"
#include "sys/FileOperations.h"
#include "sys/Paths.h"

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

namespace {

using FsOperationsTest = FsModuleTest;

bool isFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes a zip archive with the given entries (name -> content).
void makeZip(const std::string& path, const std::vector<std::pair<std::string, std::string>>& entries) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const auto& entry : entries) {
        // libzip takes no buffer for an empty entry (it would never free it).
        char* copy = entry.second.empty() ? nullptr : static_cast<char*>(malloc(entry.second.size()));
        if (copy) memcpy(copy, entry.second.data(), entry.second.size());
        zip_source_t* source = zip_source_buffer(archive, copy, entry.second.size(), copy ? 1 : 0);
        ASSERT_GE(zip_file_add(archive, entry.first.c_str(), source, ZIP_FL_ENC_UTF_8), 0);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// A big file for copies that must fail half way.
std::string bigContent() { return std::string(256 * 1024, 'x'); }

// In a child whose files may not grow beyond 64 KiB, runs the operation and
// expects it to fail with the system's "File too large".
int failsForFileSize(const std::function<void()>& operation) {
    return inChildProcess(
        [&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{65536, 65536};
            setrlimit(RLIMIT_FSIZE, &limit);
            try {
                operation();
            } catch (const std::exception& e) {
                return std::string(e.what()) == "File too large" ? 0 : 2;
            }
            return 1;
        },
        false);
}

TEST_F(FsOperationsTest, MkdirMakesEveryMissingFolderAndAcceptsAnExistingOne) {
    EXPECT_EQ(call({"mkdir", file("a/b/c")}), "v");
    EXPECT_TRUE(isFolder(file("a/b/c")));
    EXPECT_EQ(call({"mkdir", file("a/b/c/")}), "v");
    writeFile(file("a/plain"), "x");
    EXPECT_EQ(call({"mkdir", file("a/plain")}), "eNot a directory");
    EXPECT_EQ(call({"mkdir", file("a/plain/d")}), "eNot a directory");
}

TEST_F(FsOperationsTest, UnlinkDeletesFilesAndWholeTrees) {
    makeFolders(file("tree/x/y"));
    writeFile(file("tree/.hidden"), "1");
    writeFile(file("tree/x/y/deep.wav"), "2");
    symlink(home.path().c_str(), file("tree/x/link").c_str());  // removed, never followed
    writeFile(file("single.txt"), "3");
    EXPECT_EQ(call({"unlink", file("single.txt")}), "v");
    EXPECT_FALSE(fileExists(file("single.txt")));
    EXPECT_EQ(call({"unlink", file("tree/")}), "v");
    EXPECT_FALSE(fileExists(file("tree")));
    EXPECT_TRUE(isFolder(home.path() + "/data"));
    EXPECT_EQ(call({"unlink", file("tree")}), "eNo such file or directory");
}

// A run that died in the middle of a copy onto the looper left its hidden temporary in
// a track folder; watching the folder tree clears exactly those and nothing else.
TEST_F(FsOperationsTest, WatchingAFolderClearsCopiesADeadRunLeftThere) {
    makeFolders(file("WAVE/001_1"));
    makeFolders(file("WAVE/002_1/deeper"));
    writeFile(file("WAVE/001_1/.tarn-copy-Take.wav.aB3dE9"), "partial");
    writeFile(file("WAVE/002_1/deeper/.tarn-copy-x.wav.Zz0099"), "partial");
    const std::vector<std::string> kept = {"WAVE/001_1/Take.wav", "WAVE/001_1/.tarn-copy-Take.wav.short",
                                           "WAVE/001_1/.tarn-copy-Take.wav.ab-d!f", "WAVE/001_1/tarn-copy-a.wav.aB3dE9",
                                           "WAVE/001_1/.~Take.wav.aB3dE9", "WAVE/002_1/.hidden"};
    for (const auto& name : kept) writeFile(file(name), "keep");
    EXPECT_EQ(call({"watch", file("WAVE/")}), "v");
    EXPECT_FALSE(fileExists(file("WAVE/001_1/.tarn-copy-Take.wav.aB3dE9")));
    EXPECT_FALSE(fileExists(file("WAVE/002_1/deeper/.tarn-copy-x.wav.Zz0099")));
    for (const auto& name : kept) EXPECT_TRUE(fileExists(file(name))) << name;
    EXPECT_EQ(call({"watch", ""}), "v");
    EXPECT_EQ(removeStaleCopies(file("missing/")).size(), 0u);
}

TEST_F(FsOperationsTest, UnlinkStopsAtTheFirstEntryItCannotDelete) {
    std::string top = file("top");
    makeFolders(top + "/locked");
    writeFile(top + "/locked/keep.txt", "k");
    chmod(home.path().c_str(), 0755);
    chmod(top.c_str(), 0777);
    chmod((top + "/locked").c_str(), 0555);  // its entries cannot be deleted
    int status = inChildProcess(
        [&] {
            try {
                removeTree(top);
            } catch (const std::exception& e) {
                return std::string(e.what()) == "Permission denied" ? 0 : 2;
            }
            return 1;
        },
        true);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(top + "/locked/keep.txt"), "k");
    EXPECT_TRUE(isFolder(top));
}

TEST_F(FsOperationsTest, CopyAndMoveNeverReplaceAnExistingFile) {
    writeFile(file("a.wav"), "source");
    writeFile(file("b.wav"), "precious");
    EXPECT_EQ(call({"copy", file("a.wav"), file("b.wav")}), "eFile exists");
    EXPECT_EQ(call({"move", file("a.wav"), file("b.wav")}), "eFile exists");
    EXPECT_EQ(readFile(file("b.wav")), "precious");
    EXPECT_EQ(readFile(file("a.wav")), "source");

    chmod(file("a.wav").c_str(), 0640);
    EXPECT_EQ(call({"copy", file("a.wav"), file("c.wav")}), "v");
    EXPECT_EQ(readFile(file("c.wav")), "source");
    struct stat st;
    stat(file("c.wav").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(call({"move", file("a.wav"), file("d.wav")}), "v");
    EXPECT_FALSE(fileExists(file("a.wav")));
    EXPECT_EQ(readFile(file("d.wav")), "source");
    EXPECT_EQ(call({"copy", file("missing"), file("e.wav")}), "eNo such file or directory");
    EXPECT_EQ(call({"copy", file("d.wav"), file("no/folder/e.wav")}), "eNo such file or directory");
    EXPECT_EQ(namesIn(home.path()), (std::vector<std::string>{"b.wav", "c.wav", "config", "d.wav", "data", "tmp"}));
}

TEST_F(FsOperationsTest, AFailedCopyLeavesNoPartialFile) {
    writeFile(file("big.wav"), bigContent());
    EXPECT_EQ(failsForFileSize([&] { copyFileNoReplace(file("big.wav"), file("copy.wav")); }), 0);
    EXPECT_EQ(namesIn(home.path()), (std::vector<std::string>{"big.wav", "config", "data", "tmp"}));
}

TEST_F(FsOperationsTest, MoveAcrossFileSystemsCopiesThenDeletes) {
    struct stat here, there;
    char pattern[] = "/dev/shm/tarn-fs-XXXXXX";
    if (stat(home.path().c_str(), &here) != 0 || !mkdtemp(pattern) || stat(pattern, &there) != 0 || here.st_dev == there.st_dev)
        GTEST_SKIP() << "no second file system at hand";
    std::string other = pattern;
    writeFile(other + "/take.wav", "audio");
    writeFile(other + "/big.wav", bigContent());
    writeFile(file("taken.wav"), "already here");

    EXPECT_EQ(call({"move", other + "/take.wav", file("taken.wav")}), "eFile exists");
    EXPECT_EQ(readFile(file("taken.wav")), "already here");
    EXPECT_EQ(call({"move", other + "/take.wav", file("take.wav")}), "v");
    EXPECT_EQ(readFile(file("take.wav")), "audio");
    EXPECT_FALSE(fileExists(other + "/take.wav"));

    // The copy fails half way: the source stays, nothing is left at the destination.
    EXPECT_EQ(failsForFileSize([&] { moveNoReplace(other + "/big.wav", file("big.wav")); }), 0);
    EXPECT_EQ(readFile(other + "/big.wav"), bigContent());
    EXPECT_EQ(namesIn(home.path()), (std::vector<std::string>{"config", "data", "take.wav", "taken.wav", "tmp"}));
    std::system(("rm -rf '" + other + "'").c_str());
}

TEST_F(FsOperationsTest, UnzipUnpacksAnyNameAndOverwrites) {
    std::string dest = file("out");
    makeFolders(dest);
    writeFile(dest + "/readme.txt", "old");
    makeZip(file("x.ZIP"), {{"readme.txt", "new"}, {"CORVANE/BANK1/", ""}, {"CORVANE/BANK1/t.wav", "RIFF"}});
    EXPECT_EQ(call({"unzip", file("x.ZIP"), dest}), "v");
    EXPECT_EQ(readFile(dest + "/readme.txt"), "new");
    EXPECT_EQ(readFile(dest + "/CORVANE/BANK1/t.wav"), "RIFF");

    // Not named .zip: unpacked from a temporary copy that is gone afterwards.
    makeZip(file("x.dat"), {{"other.txt", "data"}});
    EXPECT_EQ(call({"unzip", file("x.dat"), dest + "/"}), "v");
    EXPECT_EQ(readFile(dest + "/other.txt"), "data");
    EXPECT_EQ(namesIn(home.path() + "/tmp"), std::vector<std::string>{});
    EXPECT_TRUE(fileExists(file("x.dat")));

    EXPECT_EQ(call({"unzip", file("none.zip"), dest}), "eNo such file or directory");
    writeFile(file("broken.zip"), "PK not really");
    EXPECT_EQ(call({"unzip", file("broken.zip"), dest}).substr(0, 1), "e");
}

TEST_F(FsOperationsTest, UnzipRefusesEntriesLandingOutsideTheFolder) {
    std::string dest = file("box/inner");
    makeFolders(dest);
    makeZip(file("slip.zip"), {{"fine.txt", "ok"}, {"../escaped.txt", "evil"}});
    makeZip(file("abs.zip"), {{"fine.txt", "ok"}, {home.path() + "/absolute.txt", "evil"}});
    makeZip(file("deep.zip"), {{"a/../../../escaped2.txt", "evil"}});
    for (const char* archive : {"slip.zip", "abs.zip", "deep.zip"}) {
        EXPECT_EQ(call({"unzip", file(archive), dest}).substr(0, 1), "e") << archive;
    }
    EXPECT_EQ(namesIn(dest), std::vector<std::string>{});
    EXPECT_EQ(namesIn(file("box")), std::vector<std::string>{"inner"});
    EXPECT_FALSE(fileExists(home.path() + "/absolute.txt"));
}

}  // namespace
