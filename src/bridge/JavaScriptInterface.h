#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

typedef struct _GtkWindow GtkWindow;

// The page-facing side of the controller: the event queue with its delivery
// flags, and the operations modules ask of the window and the web view.
class JavaScriptInterface {
public:
    JavaScriptInterface();
    virtual ~JavaScriptInterface();
    JavaScriptInterface(const JavaScriptInterface&) = delete;
    JavaScriptInterface& operator=(const JavaScriptInterface&) = delete;

    virtual void openURL(const std::string& url, const std::string& scheme) = 0;
    virtual void navigate(const std::string& url) = 0;
    // Delivers everything queued (UI thread).
    virtual void processEvent() = 0;
    // Asks the main window to close for real (the app module's exit).
    virtual void closeWindow() = 0;
    // A page control request: the window receives it and discards it.
    virtual void control(const std::string& request);
    // The main window, as owner of dialogs; null when there is none (headless).
    virtual GtkWindow* mainWindow() const { return nullptr; }

    // Any thread: queue one event string and request delivery when switched on. Returns
    // the event's number (counted from 1), which eventsTaken() reaches once it was taken.
    uint64_t postEvent(const std::string& text);
    // UI thread: the oldest event, or the empty text.
    std::string takeEvent();
    // Switches delivery on or off; on asks the main loop at once to deliver.
    void startEvent(bool flag);
    // Called when the page's source path changes: nothing is pushed until it starts again.
    void clearStarted();

    bool started() const;
    bool pending() const;
    size_t queuedEvents() const;
    // How many events the page took so far, pulled or pushed.
    uint64_t eventsTaken() const;

    const std::string& appName() const { return appName_; }
    void setAppName(const std::string& name) { appName_ = name; }
    const std::string& startAddress() const { return startAddress_; }
    void setStartAddress(const std::string& address) { startAddress_ = address; }
    bool dragDropEnabled() const { return dragDrop_; }
    void setDragDropEnabled(bool enabled) { dragDrop_ = enabled; }

    // "window.$event.dispatch(<text as a JSON string>)": the text arrives unchanged,
    // whatever it holds (line breaks, quotes, U+2028, U+2029).
    static std::string dispatchScript(const std::string& event);

protected:
    // Steps of one delivery pass: false when delivery is off, or when the queue was found
    // empty (pending then cleared); otherwise the front event is removed into event.
    bool nextEventToDeliver(std::string& event);
    // Posts processEvent() to the main loop (the window's delivery message).
    virtual void requestDelivery();

private:
    std::string appName_ = "unknown";
    std::string startAddress_ = "about:blank";
    bool dragDrop_ = false;
    mutable std::mutex eventMutex_;
    std::deque<std::string> queue_;
    uint64_t posted_ = 0;
    uint64_t taken_ = 0;
    bool started_ = false;
    bool pending_ = false;
    std::shared_ptr<JavaScriptInterface*> alive_;
};
