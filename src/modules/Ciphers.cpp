#include "modules/Ciphers.h"

#include "base/Text.h"
#include "sys/FreeSpace.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>
#include <openssl/evp.h>

namespace ciphers {

namespace {
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

// The pass phrase is kept scrambled: each byte of the table masked with one of the constants.
const unsigned char kTable[24] = {0x2E, 0x72, 0xB5, 0x40, 0xBF, 0x34, 0xD9, 0x68, 0x08, 0xCC, 0x5A, 0xCA,
                                  0x28, 0x65, 0xA6, 0x40, 0xF4, 0x6B, 0x8A, 0x3F, 0x5F, 0xD4, 0x3C, 0x71};
const unsigned char kMasks[12] = {0x5A, 0x13, 0xC7, 0x2E, 0x91, 0x44, 0xB8, 0x0F, 0x6D, 0xE2, 0x39, 0xA5};
constexpr size_t kPassPhraseLength = 22;

// Copies bytes into a zero-filled buffer of the given size, cutting what does not fit.
std::string padded(const std::string& bytes, size_t size) {
    std::string out(size, '\0');
    std::copy(bytes.begin(), bytes.begin() + std::min(bytes.size(), size), out.begin());
    return out;
}

std::string crypt(const EVP_CIPHER* cipher, Direction direction, const std::string& data, const std::string& key,
                  const std::string& iv) {
    if (data.empty()) return {};
    CipherContext context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context) return {};
    const int encrypt = direction == Direction::Encrypt ? 1 : 0;
    std::string keyBytes = padded(key, EVP_CIPHER_key_length(cipher));
    std::string ivBytes = padded(iv, std::max(EVP_CIPHER_iv_length(cipher), 1));
    if (EVP_CipherInit_ex(context.get(), cipher, nullptr, reinterpret_cast<const unsigned char*>(keyBytes.data()),
                          reinterpret_cast<const unsigned char*>(ivBytes.data()), encrypt) != 1)
        return {};
    std::string out(data.size() + EVP_CIPHER_block_size(cipher) + 64, '\0');
    auto* o = reinterpret_cast<unsigned char*>(&out[0]);
    int written = 0, last = 0;
    if (EVP_CipherUpdate(context.get(), o, &written, reinterpret_cast<const unsigned char*>(data.data()),
                         static_cast<int>(data.size())) != 1)
        return {};
    // Fails on a bad padding, which is how a wrong key shows when decrypting.
    if (EVP_CipherFinal_ex(context.get(), o + written, &last) != 1) return {};
    out.resize(static_cast<size_t>(written + last));
    return out;
}
}

std::string builtInPassPhrase() {
    std::string phrase(kPassPhraseLength, '\0');
    for (size_t i = 0; i < kPassPhraseLength; ++i) phrase[i] = static_cast<char>(kTable[i] ^ kMasks[i % 12]);
    return phrase;
}

std::string derivedMaterial(const std::string& salt) {
    std::string input = builtInPassPhrase() + salt.substr(0, 8);
    std::string first = md5(input);
    if (first.empty()) return {};
    std::string second = md5(first + input);
    if (second.empty()) return {};
    return first + second;
}

std::string keyText(const std::string& material) {
    if (material.size() != 32) return {};
    return hexEncode(material.substr(0, 16)) + "/" + hexEncode(material.substr(16));
}

std::string md5(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr) != 1) return {};
    return std::string(reinterpret_cast<char*>(digest), size);
}

bool md5OfFile(const std::string& path, std::string& digest) {
    // Regular files only: a device or a pipe could keep the caller reading forever.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info;
    if (fd < 0) return false;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return false;
    }
    std::unique_ptr<FILE, decltype(&fclose)> file(fdopen(fd, "rb"), &fclose);
    if (!file) ::close(fd);
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!file || !context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1) return false;
    std::string block(1 << 16, '\0');
    size_t n;
    while ((n = fread(&block[0], 1, block.size(), file.get())) > 0)
        if (EVP_DigestUpdate(context.get(), block.data(), n) != 1) return false;
    if (ferror(file.get())) {
        // A read error of a disk being pulled out: give the kernel its moment to begin taking
        // it away, so that the caller's next look finds the device gone.
        ioFailure(fileno(file.get()), errno);
        return false;
    }
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), out, &size) != 1) return false;
    digest.assign(reinterpret_cast<char*>(out), size);
    return true;
}

std::string aes128cbc(Direction direction, const std::string& data, const std::string& key, const std::string& iv) {
    return crypt(EVP_aes_128_cbc(), direction, data, key, iv);
}

std::string tripleDesEcb(Direction direction, const std::string& data, const std::string& key) {
    return crypt(EVP_des_ede3_ecb(), direction, data, key, std::string());
}

}  // namespace ciphers
