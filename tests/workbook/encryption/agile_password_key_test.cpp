#include "workbook/encryption/agile_password_key.h"

#include <gtest/gtest.h>

#include "fakes/hex_bytes.h"
#include "fakes/scripted_random_crypto.h"

namespace kovrisk::encryption {
namespace {

using testing::hex;
using testing::unhex;

// msoffcrypto-tool's known answer for the password "Password1234_": with the key derived from
// salt and password, the intermediate key encrypts to its encryptedKeyValue.
TEST(AgilePasswordKeyTest, KeyEncryptsTheKnownSecretKeyToTheKnownValue) {
    testing::ScriptedRandomCrypto crypto;
    const std::string salt = unhex("4c725d45dc610f939412a04da7910466");
    const std::string hash = agilePasswordHash(crypto, u"Password1234_", salt, 100000);
    const std::string key = agilePasswordKey(crypto, hash, kEncryptedKeyBlockKey, 32);
    std::string secret = unhex("40206609d9faadf24b076aebf2c435b74292c8b8a7aa81bc679be89711b02ac2");
    crypto.aesCbcEncrypt(key, salt, secret);
    EXPECT_EQ(hex(secret), "a16cd5165a7ab9d271113ed386a78cf49692e8e527b0c5fc0055ed080b7cb94b");
}

TEST(AgilePasswordKeyTest, HashSpinsOneSha512PerRoundAfterTheFirst) {
    testing::ScriptedRandomCrypto crypto;
    agilePasswordHash(crypto, u"pw", "salt", 1000);
    EXPECT_EQ(crypto.sha512Calls, 1001);
}

TEST(AgilePasswordKeyTest, ShortHashesArePaddedWith0x36) {
    testing::ScriptedRandomCrypto crypto;
    const std::string key = agilePasswordKey(crypto, "hash", kVerifierInputBlockKey, 80);
    EXPECT_EQ(key.substr(0, 64), crypto.sha512({"hash", kVerifierInputBlockKey}));
    EXPECT_EQ(key.substr(64), std::string(16, '\x36'));
}

}  // namespace
}  // namespace kovrisk::encryption
