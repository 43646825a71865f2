#include "base/Text.h"
#include "modules/Ciphers.h"
#include "modules/DataProtection.h"
#include "support/TempHome.h"
#include "webview/TarnAppWebViewController.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <set>
#include <sys/stat.h>

namespace {

// Standard output of a shell command (the openssl tool here).
std::string run(const std::string& command) {
    std::unique_ptr<FILE, decltype(&pclose)> pipe(popen(command.c_str(), "r"), &pclose);
    std::string out;
    char block[4096];
    size_t n;
    while (pipe && (n = fread(block, 1, sizeof block, pipe.get())) > 0) out.append(block, n);
    return out;
}

class SecurityModuleTest : public ::testing::Test {
protected:
    std::string call(std::vector<std::string> args) { return controller.invokeNative(args); }
    std::string value(std::vector<std::string> args) {
        std::string result = call(args);
        EXPECT_EQ(result.substr(0, 1), "s") << result;
        return result.substr(1);
    }
    // What "openssl enc" makes of the data (given as hex) with the options.
    std::string openssl(const std::string& options, const std::string& dataHex) {
        std::string in = home.file("openssl-in"), out = home.file("openssl-out");
        writeFile(in, hexDecode(dataHex));
        std::remove(out.c_str());
        run("openssl enc " + options + " -in '" + in + "' -out '" + out + "' 2>/dev/null");
        return hexEncode(readFile(out));
    }

    TempHome home;
    TarnAppWebViewController controller;
};

TEST_F(SecurityModuleTest, Md5OfHexDataAndOfFiles) {
    EXPECT_EQ(value({"$$security_md5", "616263"}), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(value({"$$security_md5", ""}), "D41D8CD98F00B204E9800998ECF8427E");
    writeFile(home.file("abc.txt"), "abc");
    EXPECT_EQ(value({"$$security_md5", home.file("abc.txt")}), "900150983CD24FB0D6963F7D28E17F72");
    std::string big(3 << 20, 'x');
    writeFile(home.file("big"), big);
    EXPECT_EQ(value({"$$security_md5", home.file("big")}), hexEncode(ciphers::md5(big)));
    EXPECT_EQ(value({"$$security_md5", home.file("missing")}), "");
    // Folders and endless devices are not files to hash.
    EXPECT_EQ(value({"$$security_md5", home.path()}), "");
    EXPECT_EQ(value({"$$security_md5", "/dev/zero"}), "");
}

TEST_F(SecurityModuleTest, KivMatchesOpenSslKeyDerivation) {
    const std::string pass = ciphers::builtInPassPhrase();
    ASSERT_LE(pass.size(), 24u);
    ASSERT_FALSE(pass.empty());
    auto expected = [&](const std::string& saltOption) {
        std::string out = run("openssl enc -aes-128-cbc -md md5 -P -pass 'pass:" + pass + "' " + saltOption + " 2>/dev/null");
        std::smatch key, iv;
        EXPECT_TRUE(std::regex_search(out, key, std::regex("key=([0-9A-F]{32})"))) << out;
        EXPECT_TRUE(std::regex_search(out, iv, std::regex("iv *=([0-9A-F]{32})"))) << out;
        return key[1].str() + "/" + iv[1].str();
    };
    std::string salted = value({"$$security_kiv", "0102030405060708"});
    EXPECT_EQ(salted.size(), 65u);
    EXPECT_EQ(salted, expected("-S 0102030405060708"));
    // Only the first 8 bytes of the salt count.
    EXPECT_EQ(value({"$$security_kiv", "0102030405060708FFFF"}), salted);
    EXPECT_EQ(value({"$$security_kiv", ""}), expected("-nosalt"));
    EXPECT_NE(value({"$$security_kiv", ""}), salted);
}

TEST_F(SecurityModuleTest, AesAgreesWithOpenSslAndRoundTrips) {
    const std::string key = "000102030405060708090A0B0C0D0E0F", iv = "F0E0D0C0B0A090807060504030201000";
    const std::string plain = hexEncode("the tracks of the catalogue, thirty-three bytes");
    std::string cipher = value({"$$security_aesencrypt", plain, key + "/" + iv});
    EXPECT_EQ(cipher, openssl("-aes-128-cbc -K " + key + " -iv " + iv, plain));
    EXPECT_EQ(cipher.size() % 32, 0u);
    EXPECT_EQ(value({"$$security_aesdecrypt", cipher, key + "/" + iv}), plain);
    EXPECT_EQ(openssl("-d -aes-128-cbc -K " + key + " -iv " + iv, cipher), plain);

    // Short keys and IVs are zero-padded; no slash means a zero IV; lower-case hex is fine.
    std::string shortKey = value({"$$security_aesencrypt", plain, "abcd"});
    EXPECT_EQ(shortKey, openssl("-aes-128-cbc -K ABCD0000000000000000000000000000 -iv 00000000000000000000000000000000",
                                plain));

    // Without a key text the built-in material is used, as for the page's salted files.
    std::string builtIn = value({"$$security_kiv", ""});
    size_t slash = builtIn.find('/');
    EXPECT_EQ(value({"$$security_aesencrypt", plain}),
              openssl("-aes-128-cbc -K " + builtIn.substr(0, slash) + " -iv " + builtIn.substr(slash + 1), plain));
    EXPECT_EQ(value({"$$security_aesdecrypt", value({"$$security_aesencrypt", plain})}), plain);
}

TEST_F(SecurityModuleTest, AesFailuresGiveTheEmptyString) {
    const std::string key = "000102030405060708090A0B0C0D0E0F/00000000000000000000000000000000";
    std::string cipher = value({"$$security_aesencrypt", "00112233445566778899AABBCCDDEEFF", key});
    ASSERT_EQ(cipher.size(), 64u);
    EXPECT_EQ(value({"$$security_aesdecrypt", cipher.substr(0, 32), "FF" + key.substr(2)}), "");
    EXPECT_EQ(value({"$$security_aesdecrypt", cipher.substr(0, 30), key}), "");  // not whole blocks
    EXPECT_EQ(value({"$$security_aesencrypt", "", key}), "");
    EXPECT_EQ(value({"$$security_aesdecrypt"}), "");
}

TEST_F(SecurityModuleTest, TripleDesAgreesWithOpenSslAndRoundTrips) {
    const std::string key = "0123456789ABCDEFFEDCBA987654321089ABCDEF01234567";
    const std::string plain = hexEncode("twenty-one bytes here");
    std::string cipher = value({"$$security_desencrypt", plain, key});
    EXPECT_EQ(cipher, openssl("-des-ede3 -K " + key, plain));
    EXPECT_EQ(cipher.size(), 48u);
    EXPECT_EQ(value({"$$security_desdecrypt", cipher, key}), plain);
    // An IV after the slash does not matter in ECB mode.
    EXPECT_EQ(value({"$$security_desencrypt", plain, key + "/0102"}), cipher);
    EXPECT_EQ(value({"$$security_desdecrypt", "", key}), "");
}

TEST_F(SecurityModuleTest, UuidsAreUpperCaseAndFresh) {
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        std::string id = value({"$$security_uuidgen"});
        EXPECT_TRUE(std::regex_match(id, std::regex("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}")))
            << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 20u);
}

TEST_F(SecurityModuleTest, EncipheredTextComesBackOnlyUnaltered) {
    const std::string text = "Zugangsdaten: €5 ✓ \"quoted\"";
    std::string blob = value({"$$security_encipher", text});
    ASSERT_FALSE(blob.empty());
    EXPECT_EQ(value({"$$security_decipher", blob}), text);
    EXPECT_NE(value({"$$security_encipher", text}), blob);  // a fresh nonce each time

    struct stat info;
    ASSERT_EQ(stat(dataprotection::keyFilePath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    for (size_t at : {0ul, 2ul, blob.size() / 2, blob.size() - 2}) {
        std::string altered = blob;
        altered[at] = altered[at] == '0' ? '1' : '0';
        EXPECT_EQ(value({"$$security_decipher", altered}), "") << at;
    }
    EXPECT_EQ(value({"$$security_decipher", blob.substr(0, blob.size() - 2)}), "");
    EXPECT_EQ(value({"$$security_decipher", "00"}), "");
    EXPECT_EQ(value({"$$security_decipher", ""}), "");
    // Other entropy does not open it either.
    std::string bytes;
    EXPECT_FALSE(dataprotection::unprotect(hexDecode(blob), "other", bytes));
}

TEST_F(SecurityModuleTest, AnotherUsersKeyCannotDecipher) {
    std::string blob = value({"$$security_encipher", "secret"});
    {
        TempHome other;  // another user: another home and key file
        EXPECT_EQ(value({"$$security_decipher", blob}), "");
    }
    EXPECT_EQ(value({"$$security_decipher", blob}), "secret");
    // A key file others could read is not trusted, nor replaced.
    chmod(dataprotection::keyFilePath().c_str(), 0644);
    EXPECT_EQ(value({"$$security_decipher", blob}), "");
    EXPECT_EQ(value({"$$security_encipher", "x"}), "");
    chmod(dataprotection::keyFilePath().c_str(), 0600);
    EXPECT_EQ(value({"$$security_decipher", blob}), "secret");
}

}  // namespace
