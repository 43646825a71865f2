#pragma once

#include "bridge/NativeCall.h"

// Facts about the host, small persistent stores for page state, the in-process
// clipboard, navigation, dropped files, event delivery and the request to quit.
class NativeCall_app : public NativeCall {
public:
    explicit NativeCall_app(NativeObjects* objects);
    std::string moduleName() const override { return "app"; }

    // The JSON text of the device call; may create and store the device identifier.
    static std::string deviceJson();
    static std::string versionJson();
    // A storage2 key names a plain file in the pref folder: no "/", not "." or "..".
    static bool isPlainKey(const std::string& key);

    // The "command" event: a request from outside the page (the close button, a signal,
    // the command line, a dropped file, a download) as the page hears it.
    static std::string commandEvent(const std::string& verb, const std::string& argument);
    // The "iframe" event: a text a frame of the page posted.
    static std::string frameMessageEvent(const std::string& frameName, const std::string& text);

private:
    std::string storage2Path(const std::string& key) const;
};
