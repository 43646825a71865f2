// The rules the window's view applies: engine version check, the application's scheme
// (files, bridge, origins), local file addresses.
#include "base/Json.h"
#include "support/TempHome.h"
#include "webview/AppScheme.h"
#include "webview/FileAddress.h"
#include "webview/RuntimeVersion.h"
#include "webview/WebKitPageView.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(RuntimeVersionTest, ComparesRunsOfDigitsAgainstTheMinimum) {
    const std::string minimum = "113.0.1774.30";
    EXPECT_TRUE(versionAccepted("113.0.1774.30", minimum));
    EXPECT_FALSE(versionAccepted("113.0.1774.29", minimum));
    EXPECT_FALSE(versionAccepted("112.9.9999.99", minimum));
    EXPECT_TRUE(versionAccepted("114.0.0.0", minimum));
    EXPECT_TRUE(versionAccepted("113.1", minimum));
    EXPECT_TRUE(versionAccepted("113.0", minimum));  // fewer parts, all equal
    EXPECT_TRUE(versionAccepted("v113-0-1774-30-beta7", minimum));
    EXPECT_FALSE(versionAccepted("113.0.1774.29.999", minimum));  // a fifth part is not read
    EXPECT_TRUE(versionAccepted("99999999999999999999999.0", minimum));
}

TEST(RuntimeVersionTest, TheRunningEngineIsAccepted) {
    EXPECT_TRUE(versionAccepted(runningWebKitVersion(), minimumWebKitVersion));
    EXPECT_FALSE(versionAccepted("2.38.6", minimumWebKitVersion));
}

TEST(FileAddressTest, PercentDecodesLocalPaths) {
    std::string path;
    ASSERT_TRUE(localPathOfFileAddress("file:///home/u/My%20Songs/a+b%C3%A4%2fc.wav", path));
    EXPECT_EQ(path, "/home/u/My Songs/a b\xC3\xA4/c.wav");
    EXPECT_FALSE(localPathOfFileAddress("https://example.org/a.wav", path));
    EXPECT_FALSE(localPathOfFileAddress("file://host/a.wav", path));
    EXPECT_EQ(percentDecode("%zz%4A"), std::string("\0J", 2));  // non-hex digits count as 0
    EXPECT_EQ(percentDecode("50%"), "50%");                      // too short to decode
    EXPECT_EQ(percentDecode("a%4"), "a%4");
    EXPECT_EQ(percentDecode("%FF"), "\xEF\xBF\xBD");             // not UTF-8: replaced
}

TEST(AppSchemeTest, OwnOriginIsOnlyTarnApp) {
    EXPECT_EQ(AppScheme::address("index.html"), "tarn://app/index.html");
    EXPECT_TRUE(AppScheme::isOwnAddress("tarn://app/index.html?x=1#y"));
    EXPECT_TRUE(AppScheme::isOwnAddress("TARN://APP/"));
    EXPECT_FALSE(AppScheme::isOwnAddress("tarn://other/index.html"));
    EXPECT_FALSE(AppScheme::isOwnAddress("tarn://app:81/index.html"));
    EXPECT_FALSE(AppScheme::isOwnAddress("tarn://user@app/index.html"));
    EXPECT_FALSE(AppScheme::isOwnAddress("http://app/index.html"));
    EXPECT_FALSE(AppScheme::isOwnAddress("about:blank"));
    EXPECT_FALSE(AppScheme::isOwnAddress(""));
}

class AppSchemeServing : public ::testing::Test {
protected:
    void SetUp() override {
        root = home.file("html");
        mkdir(root.c_str(), 0755);
        mkdir((root + "/js").c_str(), 0755);
        writeFile(root + "/index.html", "<p>page</p>");
        writeFile(root + "/js/a b.js", "var a;");
        writeFile(home.file("secret.txt"), "secret");
    }
    AppScheme::Reply call(const std::string& body, const std::string& origin = "", bool hasOrigin = false,
                          const std::string& type = "application/json") {
        AppScheme::Request request;
        request.method = "POST";
        request.path = "/native";
        request.hasOrigin = hasOrigin;
        request.origin = origin;
        request.contentType = type;
        request.body = body;
        return scheme.answer(request);
    }
    AppScheme::Reply get(const std::string& path, const std::string& method = "GET") {
        AppScheme::Request request;
        request.method = method;
        request.path = path;
        return scheme.answer(request);
    }

    TempHome home;
    std::string root;
    std::vector<std::vector<std::string>> calls;
    AppScheme scheme{home.file("html"), [this](const std::vector<std::string>& args) {
                         calls.push_back(args);
                         return std::string("s\xE2\x80\xA8ok");
                     }};
};

TEST_F(AppSchemeServing, ServesThePageFolderOnly) {
    auto page = get("/");
    EXPECT_EQ(page.status, 200u);
    EXPECT_EQ(page.body, "<p>page</p>");
    EXPECT_EQ(page.type, "text/html; charset=utf-8");
    auto script = get("/js/a b.js");
    EXPECT_EQ(script.status, 200u);
    EXPECT_EQ(script.type, "text/javascript; charset=utf-8");
    EXPECT_EQ(get("/../secret.txt").status, 404u);
    EXPECT_EQ(get("/js/../../secret.txt").status, 404u);
    EXPECT_EQ(get("/missing.html").status, 404u);
    EXPECT_EQ(get("/js").status, 404u);
    EXPECT_EQ(get("/index.html", "PUT").status, 405u);
    EXPECT_TRUE(calls.empty());
}

TEST_F(AppSchemeServing, RunsBridgeCallsOfItsOwnOrigin) {
    auto reply = call(R"(["$$util_bytes","abc"])");
    EXPECT_EQ(reply.status, 200u);
    EXPECT_EQ(reply.body, "s\xE2\x80\xA8ok");
    auto withOrigin = call(R"(["$$app_version"])", "tarn://app", true, "application/json; charset=UTF-8");
    EXPECT_EQ(withOrigin.status, 200u);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0], (std::vector<std::string>{"$$util_bytes", "abc"}));
}

TEST_F(AppSchemeServing, RefusesCallsFromOtherOriginsAndSimpleRequests) {
    EXPECT_EQ(call(R"(["$$app_exit"])", "http://127.0.0.1:8000", true).status, 403u);
    EXPECT_EQ(call(R"(["$$app_exit"])", "null", true).status, 403u);
    EXPECT_EQ(call(R"(["$$app_exit"])", "tarn://app.evil", true).status, 403u);
    // Forms and no-cors requests of other pages carry no origin but cannot send JSON.
    EXPECT_EQ(call(R"(["$$app_exit"])", "", false, "text/plain;charset=UTF-8").status, 403u);
    EXPECT_EQ(call(R"(["$$app_exit"])", "", false, "application/x-www-form-urlencoded").status, 403u);
    EXPECT_EQ(call(R"(["$$app_exit"])", "", false, "").status, 403u);
    EXPECT_TRUE(calls.empty());
}

TEST_F(AppSchemeServing, RejectsMalformedCalls) {
    EXPECT_EQ(call("not json").status, 400u);
    EXPECT_EQ(call(R"({"name":"$$app_exit"})").status, 400u);
    EXPECT_EQ(call(R"(["$$app_storage", 5])").status, 400u);
    EXPECT_EQ(get("/native").status, 405u);
    EXPECT_TRUE(calls.empty());
}

TEST(UserAgentTest, AppendsTheApplicationToken) {
    EXPECT_EQ(WebKitPageView::userAgent("Mozilla/5.0 Engine"), "Mozilla/5.0 Engine corvane.lattice(Linux)");
}
