#pragma once

#include "bridge/NativeCall.h"

// Facts about the host, small persistent stores for page state, the in-process
// clipboard, navigation, dropped files, event delivery and the request to quit.
class NativeCall_app : public NativeCall {
public:
    explicit NativeCall_app(NativeObjects* objects);
    std::string moduleName() const override { return "app"; }
    void call(int function, const Args& args, CallResult& result) override;

    // The JSON text of the device call; may create and store the device identifier.
    static std::string deviceJson();
    static std::string versionJson();
    // A storage2 key names a plain file in the pref folder: no "/", not "." or "..".
    static bool isPlainKey(const std::string& key);

private:
    std::string storage2Path(const std::string& key) const;
};
