#pragma once

#include <string>

// Cryptographic helpers of the security module over OpenSSL. Binary values are
// byte strings; every failure is an empty result.
namespace ciphers {

// The program's own pass phrase, assembled at run time.
std::string builtInPassPhrase();
// 32 bytes, key (16) then IV (16), from the pass phrase and up to 8 bytes of salt, as
// EVP_BytesToKey with MD5 and one iteration; empty when a digest fails.
std::string derivedMaterial(const std::string& salt);
// The derived material as "<key hex>/<IV hex>".
std::string keyText(const std::string& material);

std::string md5(const std::string& bytes);
// The MD5 digest of a whole file; false when it cannot be read.
bool md5OfFile(const std::string& path, std::string& digest);

enum class Direction { Encrypt, Decrypt };
// AES-128-CBC and Triple-DES-ECB with PKCS#5 padding. The key and IV are zero-padded
// (or cut) to the lengths the cipher takes. Empty data fails.
std::string aes128cbc(Direction direction, const std::string& data, const std::string& key, const std::string& iv);
std::string tripleDesEcb(Direction direction, const std::string& data, const std::string& key);

}  // namespace ciphers
