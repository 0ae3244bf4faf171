#include "workbook/encryption/rc4.h"

#include <gtest/gtest.h>

#include "fakes/hex_bytes.h"
#include "fakes/scripted_random_crypto.h"
#include "workbook/encryption/rc4_cryptoapi.h"

namespace kovrisk::encryption {
namespace {

using testing::hex;
using testing::unhex;

std::string keyStream(std::string_view key, std::size_t offset, std::size_t length) {
    Rc4 cipher(key);
    cipher.skip(offset);
    std::string bytes(length, '\0');
    cipher.apply(bytes, 0, length);
    return bytes;
}

// RFC 6229, keys of 40 and 128 bits.
TEST(Rc4Test, KeyStreamOfA40BitKeyIsTheRfc6229One) {
    EXPECT_EQ(hex(keyStream(unhex("0102030405"), 0, 16)), "b2396305f03dc027ccc3524a0a1118a8");
    EXPECT_EQ(hex(keyStream(unhex("0102030405"), 4096, 16)), "ff25b58995996707e51fbdf08b34d875");
}

TEST(Rc4Test, KeyStreamOfA128BitKeyIsTheRfc6229One) {
    const std::string key = unhex("0102030405060708090a0b0c0d0e0f10");
    EXPECT_EQ(hex(keyStream(key, 0, 16)), "9ac7cc9a609d1ef7b2932899cde41b97");
    EXPECT_EQ(hex(keyStream(key, 4096, 16)), "a36a4c301ae8ac13610ccbc12256cacc");
}

TEST(Rc4Test, ApplyingTwiceGivesTheBytesBack) {
    std::string bytes = "a workbook record";
    Rc4("key").apply(bytes, 2, 10);
    EXPECT_NE(bytes, "a workbook record");
    Rc4("key").apply(bytes, 2, 10);
    EXPECT_EQ(bytes, "a workbook record");
}

TEST(Rc4Test, RefusesEmptyAndOverlongKeys) {
    EXPECT_THROW(Rc4(""), std::invalid_argument);
    EXPECT_THROW(Rc4(std::string(257, 'k')), std::invalid_argument);
}

// From a workbook Excel encrypted with the password "Password1234_": the FILEPASS salt and the
// encrypted verifier and verifier hash.  The password is right when the verifier hash, decrypted,
// is SHA-1 of the verifier, decrypted.
TEST(Rc4CryptoApiTest, KeysOfExcelsWorkbookDecryptItsVerifier) {
    testing::ScriptedRandomCrypto crypto;
    const std::string salt = unhex("ff6b27f7b025eb08a8aca2c4477cc064");
    std::string sealed = unhex(
        "b948eea818830e56ce56a60c822e7cb3"
        "55bb40447d2bae6b938d9ff54366053628abc435");
    const std::string hash = rc4CryptoApiPasswordHash(crypto, u"Password1234_", salt);
    Rc4(rc4CryptoApiBlockKey(crypto, hash, 0)).apply(sealed, 0, sealed.size());
    EXPECT_EQ(hex(crypto.sha1({sealed.substr(0, 16)})), hex(sealed.substr(16)));
}

TEST(Rc4CryptoApiTest, StreamIsKeyedAnewAtEvery1024Bytes) {
    testing::ScriptedRandomCrypto crypto;
    const std::string hash = crypto.sha1({"password hash"});
    std::string stream(3000, '\0');
    Rc4CryptoApiStream(crypto, hash).apply(stream, 0, stream.size());
    EXPECT_EQ(stream.substr(0, 1024), keyStream(rc4CryptoApiBlockKey(crypto, hash, 0), 0, 1024));
    EXPECT_EQ(stream.substr(1024, 1024), keyStream(rc4CryptoApiBlockKey(crypto, hash, 1), 0, 1024));
    EXPECT_EQ(stream.substr(2048), keyStream(rc4CryptoApiBlockKey(crypto, hash, 2), 0, 952));
}

TEST(Rc4CryptoApiTest, BytesLeftInTheClearStillMoveTheKeyStreamOn) {
    testing::ScriptedRandomCrypto crypto;
    const std::string hash = crypto.sha1({"password hash"});
    std::string whole(2100, '\0');
    Rc4CryptoApiStream(crypto, hash).apply(whole, 0, whole.size());
    std::string pieces(2100, '\0');
    Rc4CryptoApiStream cipher(crypto, hash);
    cipher.apply(pieces, 4, 10);
    cipher.apply(pieces, 1020, 1030);  // across a block boundary
    cipher.apply(pieces, 2090, 2100);  // a whole block skipped
    for (std::size_t n = 0; n < whole.size(); ++n) {
        const bool applied = (n >= 4 && n < 10) || (n >= 1020 && n < 1030) || n >= 2090;
        ASSERT_EQ(pieces[n], applied ? whole[n] : '\0') << "at " << n;
    }
}

}  // namespace
}  // namespace kovrisk::encryption
