#include "modules/NativeObjects.h"
#include "support/EventCollector.h"
#include "net/HTTPConnection.h"
#include "net/HttpTestServer.h"
#include "support/TempHome.h"
#include "sys/Paths.h"
#include "webview/TarnAppWebViewController.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr size_t MiB = 1048576;

class HttpModuleTest : public ::testing::Test {
protected:
    HttpModuleTest() {
        // Loopback only, whatever proxy the machine is configured with.
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        setenv("NO_PROXY", "127.0.0.1,localhost", 1);
        mkdir(downloads.c_str(), 0700);
        mkdir(uploads.c_str(), 0700);
    }

    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    // Starts a transfer through the bridge and returns its id as text.
    std::string start(std::vector<std::string> args) {
        std::string result = call(args);
        EXPECT_EQ(result.substr(0, 1), "d") << result;
        EXPECT_NE(result, "d0");
        return result.substr(1);
    }
    void waitUntilIdle() {
        auto deadline = std::chrono::steady_clock::now() + 20s;
        while (controller.nativeObjects().httpConnection().runningTasks() > 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(controller.nativeObjects().httpConnection().runningTasks(), 0u);
    }

    TempHome home;
    std::string downloads = home.file("downloads");
    std::string uploads = home.file("uploads");
    HttpTestServer server{uploads};
    TarnAppWebViewController controller;
    EventCollector events{controller};
};

TEST_F(HttpModuleTest, DownloadReportsEachMebibyteThenCompletes) {
    const size_t size = 2 * MiB + 1000;
    std::string target = downloads + "/track.wav";
    std::string id = start({"$$http_download", server.url("/data/" + std::to_string(size)), target});
    ASSERT_TRUE(events.waitFor("http", "completed", id));
    waitUntilIdle();

    auto seen = events.of("http", id);
    ASSERT_EQ(seen.size(), 4u);
    const std::string total = std::to_string(size);
    EXPECT_EQ(seen[0], (EventCollector::Event{"http", "progress", id, total, std::to_string(MiB)}));
    EXPECT_EQ(seen[1], (EventCollector::Event{"http", "progress", id, total, std::to_string(2 * MiB)}));
    EXPECT_EQ(seen[2], (EventCollector::Event{"http", "progress", id, total, total}));
    EXPECT_EQ(seen[3], (EventCollector::Event{"http", "completed", id, target}));
    EXPECT_EQ(readFile(target), servedBytes(size));
    EXPECT_EQ(namesIn(downloads), std::vector<std::string>{"track.wav"});
}

TEST_F(HttpModuleTest, DownloadWithoutLengthReportsTotalZero) {
    const size_t size = MiB + 10;
    std::string target = downloads + "/open-ended";
    std::string id = start({"$$http_download", server.url("/nolength/" + std::to_string(size)), target});
    ASSERT_TRUE(events.waitFor("http", "completed", id));
    auto seen = events.of("http", id);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0][3], "0");
    EXPECT_EQ(seen[1][3], "0");
    EXPECT_EQ(seen[1][4], std::to_string(size));
    EXPECT_EQ(readFile(target), servedBytes(size));
}

TEST_F(HttpModuleTest, RedirectIsFollowedAndEmptyDestinationMeansNewTemporaryFile) {
    std::string url = server.url("/redirect/5000");
    std::string id = start({"$$http_download", url});
    ASSERT_TRUE(events.waitFor("http", "completed", id));
    std::string path = events.of("http", id).back()[3];
    EXPECT_EQ(path.rfind(home.file("tmp/___"), 0), 0u) << path;
    EXPECT_EQ(readFile(path), servedBytes(5000));

    // A second one gets a name of its own.
    std::string second = start({"$$http_download", url, ""});
    ASSERT_TRUE(events.waitFor("http", "completed", second));
    EXPECT_NE(events.of("http", second).back()[3], path);
}

TEST_F(HttpModuleTest, FailedDownloadsReportTheUrlAndLeaveNoFile) {
    struct Case {
        std::string path;
        std::string target;
    };
    std::vector<Case> cases = {
        {"/missing", downloads + "/a"},                          // 404
        {"/drop/" + std::to_string(3 * MiB), downloads + "/b"},  // connection dropped half-way
        {"/data/10", downloads + "/no/such/folder/c"},           // destination cannot be made
    };
    for (const Case& c : cases) {
        std::string url = server.url(c.path);
        std::string id = start({"$$http_download", url, c.target});
        ASSERT_TRUE(events.waitFor("http", "error", id)) << c.path;
        EXPECT_EQ(events.of("http", id).back(), (EventCollector::Event{"http", "error", id, url}));
    }
    waitUntilIdle();
    EXPECT_TRUE(namesIn(downloads).empty());

    // A download without destination that fails removes its "___" file too.
    std::string id = start({"$$http_download", server.url("/missing")});
    ASSERT_TRUE(events.waitFor("http", "error", id));
    waitUntilIdle();
    EXPECT_TRUE(namesIn(home.file("tmp")).empty());
}

TEST_F(HttpModuleTest, FailedDownloadKeepsTheFileAlreadyAtTheDestination) {
    std::string target = downloads + "/kept";
    writeFile(target, "the previous whole file");
    std::string id = start({"$$http_download", server.url("/drop/" + std::to_string(2 * MiB)), target});
    ASSERT_TRUE(events.waitFor("http", "error", id));
    waitUntilIdle();
    EXPECT_EQ(readFile(target), "the previous whole file");
    EXPECT_EQ(namesIn(downloads), std::vector<std::string>{"kept"});
}

TEST_F(HttpModuleTest, CancelInTheMiddleStopsSilentlyWithoutFile) {
    std::string target = downloads + "/cancelled";
    std::string id = start({"$$http_download", server.url("/stall/" + std::to_string(MiB + 500)), target});
    ASSERT_TRUE(events.waitFor("http", "progress", id));
    EXPECT_EQ(call({"$$http_cancel", id}), "v");
    waitUntilIdle();
    events.drainFor(200ms);
    auto seen = events.of("http", id);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0][1], "progress");
    EXPECT_TRUE(namesIn(downloads).empty());
}

TEST_F(HttpModuleTest, CancelAfterCompletionAndOfUnknownIdsDoesNothing) {
    std::string id = start({"$$http_download", server.url("/data/100"), downloads + "/done"});
    ASSERT_TRUE(events.waitFor("http", "completed", id));
    waitUntilIdle();
    size_t before = events.all().size();
    EXPECT_EQ(call({"$$http_cancel", id}), "v");
    EXPECT_EQ(call({"$$http_cancel", "12345678"}), "v");
    EXPECT_EQ(call({"$$http_cancel", "soon"}), "esystem exception");
    events.drainFor(100ms);
    EXPECT_EQ(events.all().size(), before);
    EXPECT_EQ(readFile(downloads + "/done"), servedBytes(100));
}

TEST_F(HttpModuleTest, TransfersRunAtOnceWithDistinctIds) {
    // Each server answer stalls half-way, so all of them are in flight together.
    std::set<std::string> ids;
    for (int i = 0; i < 3; ++i)
        ids.insert(start({"$$http_download", server.url("/stall/" + std::to_string(MiB + i)),
                          downloads + "/f" + std::to_string(i)}));
    ASSERT_EQ(ids.size(), 3u);
    for (const std::string& id : ids) EXPECT_TRUE(events.waitFor("http", "progress", id));
    EXPECT_EQ(controller.nativeObjects().httpConnection().runningTasks(), 3u);
    // A finished transfer beside them.
    std::string quick = start({"$$http_download", server.url("/data/10"), downloads + "/quick"});
    EXPECT_TRUE(events.waitFor("http", "completed", quick));
    for (const std::string& id : ids) call({"$$http_cancel", id});
    waitUntilIdle();
    EXPECT_EQ(namesIn(downloads), std::vector<std::string>{"quick"});
}

TEST_F(HttpModuleTest, UploadPutsTheFileAndNeedsStatus200Or201) {
    const size_t size = MiB + 77;
    std::string source = home.file("source.bin");
    writeFile(source, servedBytes(size));

    std::string id = start({"$$http_upload", server.url("/put/201/created"), source});
    ASSERT_TRUE(events.waitFor("http", "completed", id));
    auto seen = events.of("http", id);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], (EventCollector::Event{"http", "progress", id, std::to_string(size), std::to_string(MiB)}));
    EXPECT_EQ(seen[1][4], std::to_string(size));
    EXPECT_EQ(seen[2], (EventCollector::Event{"http", "completed", id, source}));
    EXPECT_EQ(readFile(uploads + "/created"), servedBytes(size));

    std::string ok = start({"$$http_upload", server.url("/put/200/replaced"), source});
    EXPECT_TRUE(events.waitFor("http", "completed", ok));

    for (std::string url : {server.url("/put/204/empty"), server.url("/put/302/moved"),
                            "ftp://127.0.0.1:" + std::to_string(server.port()) + "/x"}) {
        std::string failed = start({"$$http_upload", url, source});
        ASSERT_TRUE(events.waitFor("http", "error", failed)) << url;
        EXPECT_EQ(events.of("http", failed).back()[3], url);
    }
    std::string missing = start({"$$http_upload", server.url("/put/201/none"), home.file("absent")});
    EXPECT_TRUE(events.waitFor("http", "error", missing));
    // The source is only read.
    EXPECT_EQ(readFile(source), servedBytes(size));
    EXPECT_EQ(call({"$$http_upload", server.url("/put/201/x")}), "esystem exception");
}

TEST_F(HttpModuleTest, ProxyComesFromTheEnvironment) {
    // The test server stands in for the proxy: the name below is never resolved.
    setenv("http_proxy", server.url("").c_str(), 1);
    unsetenv("no_proxy");
    unsetenv("NO_PROXY");
    std::string id = start({"$$http_download", "http://catalogue.invalid/data/300", downloads + "/proxied"});
    bool completed = events.waitFor("http", "completed", id);
    unsetenv("http_proxy");
    ASSERT_TRUE(completed);
    EXPECT_EQ(readFile(downloads + "/proxied"), servedBytes(300));
}

TEST(HttpConnectionTest, DestroyingTheConnectionCancelsRunningTransfers) {
    TempHome home;
    HttpTestServer server(home.path());
    setenv("no_proxy", "127.0.0.1,localhost", 1);
    struct Counter : HTTPConnectionDelegate {
        std::atomic<int> reports{0};
        void completed(uint32_t, const std::string&) override { ++reports; }
        void error(uint32_t, const std::string&) override { ++reports; }
    } counter;
    {
        HTTPConnection connection;
        connection.setDelegate(&counter);
        EXPECT_NE(connection.download(server.url("/stall/1000"), home.file("stalled")), 0u);
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(counter.reports.load(), 0);
    EXPECT_FALSE(fileExists(home.file("stalled")));
}

}  // namespace

namespace {

std::string fileAddress(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string text = uri ? uri : "";
    g_free(uri);
    return text;
}

TEST_F(HttpModuleTest, LocalFileAddressesDownloadWithProgressAndFailLikeAMissingPage) {
    // A catalogue on a disk: file:// addresses go the same way as web ones.
    const size_t size = MiB + 77;
    std::string source = home.file("catalogue folder/set #1.wav");
    makeFolders(home.file("catalogue folder"));
    writeFile(source, servedBytes(size));
    std::string target = downloads + "/copy.wav";
    std::string id = start({"$$http_download", fileAddress(source), target});
    ASSERT_TRUE(events.waitFor("http", "completed", id));
    auto seen = events.of("http", id);
    ASSERT_EQ(seen.size(), 3u);
    const std::string total = std::to_string(size);
    EXPECT_EQ(seen[0], (EventCollector::Event{"http", "progress", id, total, std::to_string(MiB)}));
    EXPECT_EQ(seen[1], (EventCollector::Event{"http", "progress", id, total, total}));
    EXPECT_EQ(readFile(target), servedBytes(size));

    // A missing file is an error event, and no file is left behind.
    std::string missing = fileAddress(home.file("catalogue folder/none.wav"));
    std::string failed = start({"$$http_download", missing, downloads + "/none.wav"});
    ASSERT_TRUE(events.waitFor("http", "error", failed));
    EXPECT_EQ(events.of("http", failed).back(), (EventCollector::Event{"http", "error", failed, missing}));
    waitUntilIdle();
    EXPECT_EQ(namesIn(downloads), std::vector<std::string>{"copy.wav"});
}

}  // namespace
