#pragma once

#include <functional>
#include <string>
#include <vector>

// The application's own URI scheme, the origin of the page inside the window:
// tarn://app/<path> serves the unpacked page folder, POST tarn://app/native runs one
// bridge call (a JSON array of strings, answered with the tagged result as text).
// Only the page's own origin reaches the bridge: a request that names another origin
// (frames of other sites, sandboxed frames with the "null" origin) is refused with 403,
// and so is a call without the JSON content type, which a page of another origin can
// only send after naming itself (forms and no-cors requests cannot set it).
class AppScheme {
public:
    using Bridge = std::function<std::string(const std::vector<std::string>&)>;

    struct Request {
        std::string method;
        std::string path;  // "/index.html"
        bool hasOrigin = false;
        std::string origin;  // the Origin header when there is one
        std::string contentType;
        std::string body;
    };
    struct Reply {
        unsigned status = 200;
        std::string type;
        std::string body;
    };

    static const char* const scheme;  // "tarn"
    static const char* const host;    // "app"
    // "tarn://app"
    static std::string origin();
    // tarn://app/<page>
    static std::string address(const std::string& page);
    // True when the address lies on the application's own origin.
    static bool isOwnAddress(const std::string& address);

    AppScheme(std::string rootFolder, Bridge bridge);
    Reply answer(const Request& request) const;

private:
    std::string root_;
    Bridge bridge_;
};
