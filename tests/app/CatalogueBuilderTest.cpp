#include "app/CatalogueBuilder.h"
#include "base/Json.h"
#include "support/TempHome.h"
#include "sys/Paths.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// A short tone in the format the extension names, made by the real encoder.
void makeAudio(const std::string& path) {
    std::string command = "ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:duration=0.3 -ac 2 '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class CatalogueBuilderTest : public ::testing::Test {
protected:
    std::string set(const std::string& name, const std::string& setJson) {
        std::string folder = root + "/" + name;
        makeFolders(folder);
        if (!setJson.empty()) writeFile(folder + "/set.json", setJson);
        return folder;
    }

    TempHome home;
    std::string root = home.file("catalogue");
};

TEST_F(CatalogueBuilderTest, ThreeSetsGiveADocumentWhoseKeysAllResolve) {
    std::string a = set("2024 Spring", R"({"title":"Spring","description":"Loops in A","date":"2024-04-01","image":"cover.png",
        "tracks":{"02 Verse.mp3":{"title":"Verse","description":"90 bpm"}}})");
    makeAudio(a + "/02 Verse.mp3");
    makeAudio(a + "/01 Intro #1.wav");
    writeFile(a + "/cover.png", "png");
    writeFile(a + "/notes.txt", "not audio, not listed");
    std::string b = set("b-set", R"({"title":"B","description":"","date":"2025-01-02T10:00:00Z"})");
    makeAudio(b + "/beat.m4a");
    std::string c = set("c", R"({"title":"C","description":"d","date":"2023-12-31"})");
    makeAudio(c + "/x.wav");

    CatalogueResult made = makeCatalogue(root + "/");
    ASSERT_TRUE(made.ok) << made.message;
    EXPECT_EQ(made.sets, 3);
    EXPECT_EQ(made.tracks, 4);
    Json doc = parseJson(readFile(root + "/tracksets.json"));
    EXPECT_EQ(doc["totalResults"], 3);
    EXPECT_EQ(doc["contentDomain"], "./");
    EXPECT_TRUE(doc["ytplayerUrl"].is_string());
    ASSERT_EQ(doc["items"].size(), 3u);
    const Json& first = doc["items"][0];
    EXPECT_EQ(first["date"], "2024-04-01");
    EXPECT_EQ(first["lang"]["en"], first["lang"]["ja"]);
    const Json& en = first["lang"]["en"];
    EXPECT_EQ(en["title"], "Spring");
    EXPECT_EQ(en["image"], "2024 Spring/cover.png");
    ASSERT_EQ(en["caption"].size(), 2u);  // in file-name order, numbered from 1
    EXPECT_EQ(en["caption"][0], (Json{{"no", 1}, {"title", "01 Intro #1"}, {"description", ""}, {"key", "2024 Spring/01 Intro #1.wav"}}));
    EXPECT_EQ(en["caption"][1], (Json{{"no", 2}, {"title", "Verse"}, {"description", "90 bpm"}, {"key", "2024 Spring/02 Verse.mp3"}}));
    for (const Json& item : doc["items"])
        for (const Json& track : item["lang"]["en"]["caption"])
            EXPECT_TRUE(fileExists(root + "/" + track["key"].get<std::string>())) << track["key"];
    for (const char* field : {"text", "youtubeurl", "soundcloudurl", "description"}) EXPECT_TRUE(en.contains(field)) << field;
}

TEST_F(CatalogueBuilderTest, BadInputNamesTheFileAndWritesNothing) {
    std::string good = set("good", R"({"title":"G","description":"","date":"2024-01-01"})");
    makeAudio(good + "/a.wav");
    struct Case {
        std::string name, setJson, file, content, expected;
    };
    std::vector<Case> cases = {
        {"no-set-file", "", "a.wav", "", "no-set-file/set.json: missing"},
        {"no-title", R"({"description":"","date":"2024-01-01"})", "a.wav", "", "\"title\" is missing"},
        {"bad-date", R"({"title":"t","description":"","date":"01/02/2024"})", "a.wav", "", "ISO 8601"},
        {"bad-json", R"({"title":)", "a.wav", "", "not valid JSON"},
        {"unreadable", R"({"title":"t","description":"","date":"2024-01-01"})", "broken.mp3", "this is no audio", "unreadable/broken.mp3: not a readable audio file"},
        {"ctl", R"({"title":"t","description":"","date":"2024-01-01"})", "a\tb.wav", "", "control character"},
        {"bad-utf8", R"({"title":"t","description":"","date":"2024-01-01"})", "\xff\xfe.wav", "", "not valid UTF-8"},
        {"wrong-track", R"({"title":"t","description":"","date":"2024-01-01","tracks":{"gone.wav":{}}})", "a.wav", "", "gone.wav"},
    };
    for (const Case& c : cases) {
        std::string folder = set(c.name, c.setJson);
        if (c.content.empty()) makeAudio(folder + "/" + c.file); else writeFile(folder + "/" + c.file, c.content);
        writeFile(root + "/tracksets.json", "the previous document");
        CatalogueResult made = makeCatalogue(root);
        EXPECT_FALSE(made.ok) << c.name;
        EXPECT_NE(made.message.find(c.expected), std::string::npos) << c.name << ": " << made.message;
        EXPECT_EQ(readFile(root + "/tracksets.json"), "the previous document") << c.name;
        std::system(("rm -rf '" + folder + "'").c_str());
    }
    // With the bad sets gone, the good one is written.
    EXPECT_TRUE(makeCatalogue(root).ok);
    EXPECT_FALSE(makeCatalogue(home.file("nowhere")).ok);
}

}  // namespace
