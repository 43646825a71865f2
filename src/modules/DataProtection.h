#pragma once

#include <string>

// Protects bytes so that only the same user on the same machine can recover them, and
// so that any change to the protected blob is detected: AES-256-GCM under a random key
// kept in a file only the user can read ($XDG_CONFIG_HOME/Corvane/data-protection.key,
// mode 0600, made on first use), bound to the user id, the machine id and the caller's
// entropy. Blob: version byte 1, 12-byte nonce, ciphertext, 16-byte tag.
namespace dataprotection {

std::string keyFilePath();
// Empty when the key cannot be had or encryption fails.
std::string protect(const std::string& bytes, const std::string& entropy);
// False for a blob of another user or machine, other entropy, or altered bytes.
bool unprotect(const std::string& blob, const std::string& entropy, std::string& bytes);

}  // namespace dataprotection
