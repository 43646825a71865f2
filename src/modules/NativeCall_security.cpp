#include "modules/NativeCall_security.h"

#include "base/Text.h"
#include "modules/Ciphers.h"
#include "modules/DataProtection.h"
#include "sys/SystemInfo.h"

#include <algorithm>
#include <cctype>

namespace {
enum { Kiv, Uuidgen, Md5, Encipher, Decipher, AesEncrypt, AesDecrypt, DesEncrypt, DesDecrypt };

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

std::string cipherCall(int function, const Args& args) {
    std::string key, iv;
    splitKeyText(args, key, iv);
    std::string data = hexDecode(argument(args, 0));
    using ciphers::Direction;
    std::string out;
    switch (function) {
    case AesEncrypt: out = ciphers::aes128cbc(Direction::Encrypt, data, key, iv); break;
    case AesDecrypt: out = ciphers::aes128cbc(Direction::Decrypt, data, key, iv); break;
    case DesEncrypt: out = ciphers::tripleDesEcb(Direction::Encrypt, data, key); break;
    case DesDecrypt: out = ciphers::tripleDesEcb(Direction::Decrypt, data, key); break;
    }
    return hexEncode(out);
}
}

NativeCall_security::NativeCall_security(NativeObjects* objects) : NativeCall(objects) {
    addFunctions({"kiv", "uuidgen", "md5", "encipher", "decipher", "aesencrypt", "aesdecrypt", "desencrypt",
                  "desdecrypt"});
}

void NativeCall_security::call(int function, const Args& args, CallResult& result) {
    std::string out;
    try {
        switch (function) {
        case Kiv: out = ciphers::keyText(ciphers::derivedMaterial(hexDecode(argument(args, 0)))); break;
        case Uuidgen:
            out = newUuid();
            std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::toupper(c); });
            break;
        case Md5: out = digestOf(argument(args, 0)); break;
        case Encipher:
            out = hexEncode(dataprotection::protect(argument(args, 0), ciphers::derivedMaterial("")));
            break;
        case Decipher: {
            std::string bytes;
            if (dataprotection::unprotect(hexDecode(argument(args, 0)), ciphers::derivedMaterial(""), bytes))
                out = utf8UpToZero(bytes);
            break;
        }
        default: out = cipherCall(function, args); break;
        }
    } catch (...) {
        out.clear();  // this module answers every failure with the empty text
    }
    result.setString(out);
}
