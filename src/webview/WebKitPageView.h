#pragma once

#include "webview/AppScheme.h"
#include "webview/PageView.h"

#include <string>

typedef struct _GtkWidget GtkWidget;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitWebContext WebKitWebContext;
typedef struct _WebKitUserContentManager WebKitUserContentManager;

// The page inside the window: a WebKitGTK view on its own web context, which serves
// the unpacked page and the bridge on the application's scheme (never through a proxy),
// runs the page's scripts, and reports what happens in it to the listener.
class WebKitPageView : public PageView {
public:
    // dataFolder keeps the engine's own data; pageRoot is the unpacked page folder.
    WebKitPageView(PageViewListener& listener, const std::string& dataFolder, const std::string& pageRoot);
    ~WebKitPageView() override;
    WebKitPageView(const WebKitPageView&) = delete;
    WebKitPageView& operator=(const WebKitPageView&) = delete;

    GtkWidget* widget() const;
    void navigate(const std::string& url) override;
    void runScript(const std::string& script) override;

    // The engine's default user agent with the application's token appended.
    static std::string userAgent(const std::string& engineDefault);

private:
    static void handleSchemeRequest(struct _WebKitURISchemeRequest* request, void* self);
    void configure();
    void connectSignals();

    PageViewListener& listener_;
    AppScheme scheme_;
    WebKitWebContext* context_ = nullptr;
    WebKitUserContentManager* content_ = nullptr;
    WebKitWebView* view_ = nullptr;
};
