#include "modules/NativeCall_security.h"

#include "base/Text.h"
#include "modules/Ciphers.h"
#include "modules/DataProtection.h"
#include "sys/SystemInfo.h"

#include <algorithm>
#include <cctype>

namespace {

using ciphers::Direction;

std::string argument(const Args& args, size_t index) { return index < args.size() ? args[index] : std::string(); }

// A path when a slash or backslash follows the first character; otherwise hex data.
std::string digestOf(const std::string& argument) {
    std::string digest;
    if (argument.find_first_of("/\\", 1) != std::string::npos) {
        if (!ciphers::md5OfFile(argument, digest)) return {};
    } else {
        digest = ciphers::md5(hexDecode(argument));
    }
    return hexEncode(digest);
}

// "<key hex>/<IV hex>", or without a slash the key alone; absent: the built-in material.
void splitKeyText(const Args& args, std::string& key, std::string& iv) {
    std::string text = args.size() > 1 ? args[1] : ciphers::keyText(ciphers::derivedMaterial(""));
    size_t slash = text.find('/');
    key = hexDecode(text.substr(0, slash));
    iv = slash == std::string::npos ? std::string() : hexDecode(text.substr(slash + 1));
}

// One cipher over the data (hex, first argument) with the key and IV of the second.
template <class Cipher>
std::string cipherCall(const Args& args, Cipher cipher) {
    std::string key, iv;
    splitKeyText(args, key, iv);
    return hexEncode(cipher(hexDecode(argument(args, 0)), key, iv));
}

// A function that answers a text, and the empty text whenever anything fails: this
// module never answers a bridge error.
NativeFunction textFunction(const char* name, std::string (*body)(const Args& args)) {
    return {name, [body](const Args& args, CallResult& result) {
                std::string out;
                try {
                    out = body(args);
                } catch (...) {
                    out.clear();
                }
                result.setString(out);
            }};
}

}  // namespace

NativeCall_security::NativeCall_security(NativeObjects* objects) : NativeCall(objects) {
    setFunctions({
        textFunction("kiv", [](const Args& args) {
            return ciphers::keyText(ciphers::derivedMaterial(hexDecode(argument(args, 0))));
        }),
        textFunction("uuidgen", [](const Args&) {
            std::string out = newUuid();
            std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
            return out;
        }),
        textFunction("md5", [](const Args& args) { return digestOf(argument(args, 0)); }),
        textFunction("encipher", [](const Args& args) {
            return hexEncode(dataprotection::protect(argument(args, 0), ciphers::derivedMaterial("")));
        }),
        textFunction("decipher", [](const Args& args) {
            std::string bytes;
            if (!dataprotection::unprotect(hexDecode(argument(args, 0)), ciphers::derivedMaterial(""), bytes))
                return std::string();
            return utf8UpToZero(bytes);
        }),
        textFunction("aesencrypt", [](const Args& args) {
            return cipherCall(args, [](const std::string& data, const std::string& key, const std::string& iv) {
                return ciphers::aes128cbc(Direction::Encrypt, data, key, iv);
            });
        }),
        textFunction("aesdecrypt", [](const Args& args) {
            return cipherCall(args, [](const std::string& data, const std::string& key, const std::string& iv) {
                return ciphers::aes128cbc(Direction::Decrypt, data, key, iv);
            });
        }),
        textFunction("desencrypt", [](const Args& args) {
            return cipherCall(args, [](const std::string& data, const std::string& key, const std::string&) {
                return ciphers::tripleDesEcb(Direction::Encrypt, data, key);
            });
        }),
        textFunction("desdecrypt", [](const Args& args) {
            return cipherCall(args, [](const std::string& data, const std::string& key, const std::string&) {
                return ciphers::tripleDesEcb(Direction::Decrypt, data, key);
            });
        }),
    });
}
