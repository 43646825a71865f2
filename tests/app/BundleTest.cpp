#include "app/Bundle.h"
#include "support/TempHome.h"
#include "sys/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

namespace {

// Builds a zip archive in memory from (name, content) pairs.
std::string makeZip(const std::vector<std::pair<std::string, std::string>>& entries) {
    TempHome scratch;
    std::string path = scratch.file("a.zip");
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (const auto& e : entries) {
        zip_source_t* source = zip_source_buffer(archive, e.second.data(), e.second.size(), 0);
        zip_file_add(archive, e.first.c_str(), source, ZIP_FL_ENC_UTF_8);
    }
    zip_close(archive);
    return readFile(path);
}

BundleResource resourceOf(const std::string& bytes, const std::string& tag) {
    BundleResource r;
    r.data = reinterpret_cast<const unsigned char*>(bytes.data());
    r.size = bytes.size();
    r.tag = tag;
    return r;
}

TEST(BundleTest, TheDataFolderLivesUnderTheMakersFolder) {
    TempHome home;
    EXPECT_EQ(Bundle("tarn").dataFolder(), home.path() + "/data/Corvane/tarn/");
    EXPECT_TRUE(fileExists(home.path() + "/data/Corvane/tarn"));
    EXPECT_EQ(Bundle("tarn").dataSubfolder("pref"), home.path() + "/data/Corvane/tarn/pref/");
}

TEST(BundleTest, ExtractsOncePerTagAndOverwritesOnANewTag) {
    TempHome home;
    std::string v1 = makeZip({{"html/index.html", "one"}, {"html/old.js", "old"}});
    std::string v2 = makeZip({{"html/index.html", "two"}});
    Bundle bundle("tarn");
    std::string folder = bundle.dataFolder();

    ASSERT_TRUE(bundle.extract(resourceOf(v1, "v1")));
    EXPECT_EQ(readFile(folder + "html/index.html"), "one");
    EXPECT_EQ(readFile(folder + "v1.zip"), v1);

    // Same tag: nothing is written, even when the page files changed on disk.
    writeFile(folder + "html/index.html", "edited");
    ASSERT_TRUE(bundle.extract(resourceOf(v2, "v1")));
    EXPECT_EQ(readFile(folder + "html/index.html"), "edited");

    // New tag: unpacked over the old tree; the old marker and stale files stay.
    ASSERT_TRUE(bundle.extract(resourceOf(v2, "v2")));
    EXPECT_EQ(readFile(folder + "html/index.html"), "two");
    EXPECT_TRUE(fileExists(folder + "v1.zip"));
    EXPECT_TRUE(fileExists(folder + "v2.zip"));
    EXPECT_EQ(readFile(folder + "html/old.js"), "old");
}

TEST(BundleTest, WithoutATagItUnpacksAtEveryStart) {
    TempHome home;
    std::string zip = makeZip({{"html/index.html", "page"}});
    Bundle bundle("tarn");
    ASSERT_TRUE(bundle.extract(resourceOf(zip, "")));
    writeFile(bundle.dataFolder() + "html/index.html", "edited");
    ASSERT_TRUE(bundle.extract(resourceOf(zip, "")));
    EXPECT_EQ(readFile(bundle.dataFolder() + "html/index.html"), "page");
    EXPECT_TRUE(fileExists(bundle.dataFolder() + "tmp.zip"));
}

TEST(BundleTest, AFailedUnpackRemovesTheMarkerSoTheNextStartRetries) {
    TempHome home;
    std::string broken = "PK\x03\x04 this is not really a zip archive";
    Bundle bundle("tarn");
    EXPECT_FALSE(bundle.extract(resourceOf(broken, "v9")));
    EXPECT_FALSE(fileExists(bundle.dataFolder() + "v9.zip"));
    EXPECT_FALSE(bundle.extract(BundleResource{}));
}

TEST(BundleTest, EntriesThatWouldLeaveTheFolderAreRefusedAndNothingIsWritten) {
    TempHome home;
    Bundle bundle("tarn");
    for (const char* evil : {"../../escaped.txt", "html/../../escaped.txt", "/tmp/escaped-abs.txt", "..\\escaped.txt"}) {
        std::string zip = makeZip({{"html/index.html", "page"}, {evil, "bad"}});
        EXPECT_FALSE(bundle.extract(resourceOf(zip, "evil"))) << evil;
        EXPECT_FALSE(fileExists(home.path() + "/data/escaped.txt")) << evil;
        EXPECT_FALSE(fileExists(home.path() + "/data/Corvane/escaped.txt")) << evil;
        EXPECT_FALSE(fileExists(bundle.dataFolder() + "html/index.html")) << evil;
        EXPECT_FALSE(fileExists(bundle.dataFolder() + "evil.zip"));
    }
    EXPECT_FALSE(fileExists("/tmp/escaped-abs.txt"));
}

TEST(BundleTest, TheBuiltInBundleHoldsThePageAndATag) {
    TempHome home;
    BundleResource resource = builtInBundle();
    EXPECT_EQ(resource.tag.size(), 16u);
    Bundle bundle("tarn");
    ASSERT_TRUE(bundle.extract(resource));
    EXPECT_NE(readFile(bundle.dataFolder() + "html/index.html").find("js/lib/native.js"), std::string::npos);
    EXPECT_FALSE(readFile(bundle.dataFolder() + "html/js/lib/native.js").empty());
}

}  // namespace
