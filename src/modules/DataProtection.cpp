#include "modules/DataProtection.h"

#include "sys/FileIO.h"
#include "sys/Paths.h"
#include "sys/SystemInfo.h"

#include <memory>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace dataprotection {

namespace {
constexpr size_t kKeySize = 32;
constexpr size_t kNonceSize = 12;
constexpr size_t kTagSize = 16;
constexpr char kVersion = 1;

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

bool readKey(const std::string& path, std::string& key) {
    // Only a key no one else could have read or planted is used.
    return readPrivateFile(path, kKeySize, key) && key.size() == kKeySize;
}

// A new random key, put in place so that two processes making it at once end up with the same key.
bool createKey(const std::string& path) {
    std::string folder = folderOf(path);
    if (!makeFolders(folder.substr(0, folder.size() - 1))) return false;
    unsigned char key[kKeySize];
    if (RAND_bytes(key, sizeof key) != 1) return false;
    return createPrivateFileOnce(path, std::string(reinterpret_cast<const char*>(key), sizeof key));
}

bool userKey(std::string& key) {
    std::string path = keyFilePath();
    if (readKey(path, key)) return true;
    if (fileExists(path)) return false;  // there but unusable: never replaced, old blobs need it
    return createKey(path) && readKey(path, key);
}

// What the blob is bound to besides the key.
std::string associatedData(const std::string& entropy) {
    std::string uid = std::to_string(userId());
    return std::string("tarn data protection") + '\0' + uid + '\0' + machineId() + '\0' + entropy;
}
}

std::string keyFilePath() { return configHome() + "/Corvane/data-protection.key"; }

std::string protect(const std::string& bytes, const std::string& entropy) {
    std::string key;
    if (!userKey(key)) return {};
    unsigned char nonce[kNonceSize];
    if (RAND_bytes(nonce, sizeof nonce) != 1) return {};
    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    std::string aad = associatedData(entropy);
    std::string out(1 + kNonceSize + bytes.size() + kTagSize, '\0');
    auto* o = reinterpret_cast<unsigned char*>(&out[0]);
    o[0] = kVersion;
    std::copy(nonce, nonce + kNonceSize, o + 1);
    int n = 0, last = 0;
    if (!context ||
        EVP_EncryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), nonce) != 1 ||
        EVP_EncryptUpdate(context.get(), nullptr, &n, reinterpret_cast<const unsigned char*>(aad.data()),
                          static_cast<int>(aad.size())) != 1 ||
        EVP_EncryptUpdate(context.get(), o + 1 + kNonceSize, &n, reinterpret_cast<const unsigned char*>(bytes.data()),
                          static_cast<int>(bytes.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), o + 1 + kNonceSize + n, &last) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, kTagSize, o + 1 + kNonceSize + bytes.size()) != 1)
        return {};
    return out;
}

bool unprotect(const std::string& blob, const std::string& entropy, std::string& bytes) {
    if (blob.size() < 1 + kNonceSize + kTagSize || blob[0] != kVersion) return false;
    std::string key;
    if (!userKey(key)) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(blob.data());
    const size_t size = blob.size() - 1 - kNonceSize - kTagSize;
    std::string aad = associatedData(entropy);
    std::string out(size + 16, '\0');
    auto* o = reinterpret_cast<unsigned char*>(&out[0]);
    std::string tag = blob.substr(blob.size() - kTagSize);
    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    int n = 0, last = 0;
    if (!context ||
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_gcm(), nullptr,
                           reinterpret_cast<const unsigned char*>(key.data()), b + 1) != 1 ||
        EVP_DecryptUpdate(context.get(), nullptr, &n, reinterpret_cast<const unsigned char*>(aad.data()),
                          static_cast<int>(aad.size())) != 1 ||
        EVP_DecryptUpdate(context.get(), o, &n, b + 1 + kNonceSize, static_cast<int>(size)) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, kTagSize, &tag[0]) != 1 ||
        EVP_DecryptFinal_ex(context.get(), o + n, &last) != 1)  // the tag check
        return false;
    out.resize(static_cast<size_t>(n + last));
    bytes = std::move(out);
    return true;
}

}  // namespace dataprotection
