#pragma once

#include "assembly/PageView.h"

#include <string>
#include <vector>

// What a view reports to its controller, on the UI thread.
class PageViewListener {
public:
    virtual ~PageViewListener() = default;
    // One bridge call from the page's own origin; returns the tagged result.
    virtual std::string invokeNative(const std::vector<std::string>& pageArgs) = 0;
    virtual void onSourceChanged(const std::string& address) = 0;
    virtual void onTitleChanged(const std::string& title) = 0;
    // A request to open an address in a new window (no window is opened), or the view's
    // own attempt to show a local file in place (a file dropped onto it).
    virtual void onNewWindowRequested(const std::string& address) = 0;
    // A download the view started; the view cancels it.
    virtual void onDownloadStarted(const std::string& address) = 0;
    // A message a frame posted with chrome.webview.postMessage (text only).
    virtual void onFrameMessage(const std::string& frameName, const std::string& text) = 0;
    // Whether a permission request (camera, notifications, ...) may be granted while
    // the view shows documentAddress.
    virtual bool permissionAllowed(const std::string& documentAddress) = 0;
    // The local files of a drag that entered the view, in drop order.
    virtual void onDragEntered(const std::vector<std::string>& paths) = 0;
    // The page and everything it loads at start are in (its first frame follows).
    virtual void onPageLoaded() {}
};
