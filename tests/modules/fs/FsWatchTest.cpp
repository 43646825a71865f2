// The folder watcher behind "watch".
#include "base/Json.h"
#include "modules/fs/FsTestSupport.h"
#include "sys/Paths.h"

namespace {

class FsWatchTest : public FsModuleTest {
protected:
    // The "watch" event naming the folders.
    static std::string watchEvent(const std::vector<std::string>& folders) {
        Json list = Json::array();
        for (const std::string& folder : folders) list.push_back(folder);
        return event({"fs", "watch", jsonText(list)});
    }
    void TearDown() override { call({"watch", ""}); }
};

TEST_F(FsWatchTest, ModificationsInOneFolderComeAsOneBatch) {
    std::string root = file("watched");
    makeFolders(root + "/bank");
    writeFile(root + "/bank/one.wav", "1");
    writeFile(root + "/bank/two.wav", "2");
    EXPECT_EQ(call({"watch", root}), "v");
    writeFile(root + "/bank/one.wav", "11");
    writeFile(root + "/bank/two.wav", "22");
    writeFile(root + "/top.txt", "t");
    EXPECT_EQ(nextEvent(), watchEvent({root + "/bank/", root + "/"}));
    EXPECT_EQ(eventsWithin(1000), std::vector<std::string>{}) << "each change is reported once";
}

TEST_F(FsWatchTest, FoldersMadeWhileWatchingAreWatchedToo) {
    std::string root = file("watched");
    makeFolders(root);
    EXPECT_EQ(call({"watch", root + "/"}), "v");
    makeFolders(root + "/new/deeper");
    writeFile(root + "/new/deeper/take.wav", "RIFF");
    std::vector<std::string> events = eventsWithin(1500);
    ASSERT_FALSE(events.empty());
    EXPECT_NE(events.back().find(jsonText(Json(root + "/new/deeper/"))), std::string::npos) << events.back();

    // Later writes in the new folder are seen as well.
    writeFile(root + "/new/deeper/take.wav", "RIFF2");
    EXPECT_EQ(nextEvent(), watchEvent({root + "/new/deeper/"}));
}

TEST_F(FsWatchTest, AnEmptyFolderStopsAndANewFolderRestarts) {
    std::string first = file("first"), second = file("second");
    makeFolders(first);
    makeFolders(second);
    EXPECT_EQ(call({"watch", first}), "v");
    EXPECT_EQ(call({"watch", ""}), "v");
    writeFile(first + "/a.txt", "a");
    EXPECT_EQ(eventsWithin(1000), std::vector<std::string>{});

    EXPECT_EQ(call({"watch", first}), "v");
    EXPECT_EQ(call({"watch", second}), "v");  // replaces the first watch
    writeFile(first + "/b.txt", "b");
    writeFile(second + "/c.txt", "c");
    EXPECT_EQ(nextEvent(), watchEvent({second + "/"}));
    EXPECT_EQ(eventsWithin(800), std::vector<std::string>{});

    // A folder that cannot be watched: nothing happens, nothing is reported.
    EXPECT_EQ(call({"watch", file("missing")}), "v");
    writeFile(second + "/d.txt", "d");
    EXPECT_EQ(eventsWithin(1000), std::vector<std::string>{});
}

}  // namespace
