// What the controller makes of the view's happenings, without a display.
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <gtest/gtest.h>

namespace {

class FakeView : public PageView {
public:
    void navigate(const std::string& url) override { navigations.push_back(url); }
    void runScript(const std::string& script) override { scripts.push_back(script); }
    std::vector<std::string> navigations, scripts;
};

std::vector<std::string> drain(JavaScriptInterface& js) {
    std::vector<std::string> events;
    for (std::string e = js.takeEvent(); !e.empty(); e = js.takeEvent()) events.push_back(e);
    return events;
}

}  // namespace

TEST(ControllerViewTest, OnlyAChangeOfPagePathStopsDelivery) {
    TempHome home;
    TarnAppWebViewController controller;
    controller.onSourceChanged("tarn://app/index.html");
    controller.startEvent(true);
    controller.onSourceChanged("tarn://app/index.html?x=1");
    controller.onSourceChanged("tarn://app/index.html#y");
    controller.onSourceChanged("tarn://app/index.html;v=2");
    EXPECT_TRUE(controller.started());
    controller.onSourceChanged("tarn://app/other.html");
    EXPECT_FALSE(controller.started());
    EXPECT_EQ(WebView2Controller::pagePath("tarn://app/a.html;b?c#d"), "tarn://app/a.html");
}

TEST(ControllerViewTest, LocalFilesBecomeOpenCommandsUnlessDragAndDropIsOn) {
    TempHome home;
    TarnAppWebViewController controller;
    controller.onNewWindowRequested("file:///home/u/My%20Loop.wav");
    EXPECT_EQ(drain(controller), (std::vector<std::string>{"app\fcommand\fopen\f/home/u/My Loop.wav"}));
    controller.invokeNative({"$$app_dragdrop", "true"});
    controller.onNewWindowRequested("file:///home/u/b.wav");
    EXPECT_TRUE(drain(controller).empty());
}

TEST(ControllerViewTest, DragEnterReplacesTheDroppedFilesOnlyWhenEnabled) {
    TempHome home;
    TarnAppWebViewController controller;
    controller.onDragEntered({"/a.wav"});
    EXPECT_EQ(controller.invokeNative({"$$app_dropfiles"}), "s[]");
    controller.invokeNative({"$$app_dragdrop", "1"});
    controller.onDragEntered({"/x/one.wav", "/x/two.wav"});
    EXPECT_EQ(controller.invokeNative({"$$app_dropfiles"}), "s[\"\\/x\\/one.wav\",\"\\/x\\/two.wav\"]");
    controller.onDragEntered({"/y.wav"});
    EXPECT_EQ(controller.invokeNative({"$$app_dropfiles"}), "s[\"\\/y.wav\"]");
    controller.invokeNative({"$$app_dragdrop", "0"});
    controller.onDragEntered({"/z.wav"});
    EXPECT_EQ(controller.invokeNative({"$$app_dropfiles"}), "s[\"\\/y.wav\"]");
}

TEST(ControllerViewTest, DownloadsAndFrameMessagesBecomeEvents) {
    TempHome home;
    TarnAppWebViewController controller;
    controller.onDownloadStarted("https://example.org/loop.wav");
    controller.onFrameMessage("player", "ended");
    EXPECT_EQ(drain(controller), (std::vector<std::string>{"app\fcommand\fdownload\fhttps://example.org/loop.wav",
                                                           "app\fiframe\fplayer\fended"}));
}

TEST(ControllerViewTest, PermissionsOnlyForTheOwnOrigin) {
    TempHome home;
    TarnAppWebViewController controller;
    EXPECT_TRUE(controller.permissionAllowed("tarn://app/index.html"));
    EXPECT_FALSE(controller.permissionAllowed("https://catalogue.example/player"));
    EXPECT_FALSE(controller.permissionAllowed("http://127.0.0.1:9000/index.html"));
    EXPECT_FALSE(controller.permissionAllowed(""));
}

TEST(ControllerViewTest, PushesEachEventAsOneScriptWithAJsonString) {
    TempHome home;
    TarnAppWebViewController controller;
    FakeView view;
    controller.setView(&view);
    controller.postEvent("app\fcommand\fopen\fa\rb\xE2\x80\xA8" "c");
    controller.postEvent("x\fy");
    controller.startEvent(true);
    controller.processEvent();
    ASSERT_EQ(view.scripts.size(), 2u);
    EXPECT_EQ(view.scripts[0], "window.$event.dispatch(\"app\\fcommand\\fopen\\fa\\rb\\u2028c\")");
    EXPECT_FALSE(controller.pending());
    controller.invokeNative({"$$app_locate", "tarn://app/other.html"});
    EXPECT_EQ(view.navigations, (std::vector<std::string>{"tarn://app/other.html"}));
    controller.setView(nullptr);
}
