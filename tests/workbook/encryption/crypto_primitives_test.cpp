// Known answers of the platform's primitives (FIPS 180, RFC 4231, NIST SP 800-38A), on Linux
// (OpenSSL) and on Windows (CNG).
#include "platform/crypto.h"

#include <gtest/gtest.h>

#include "fakes/hex_bytes.h"

namespace kovrisk {
namespace {

using testing::hex;
using testing::unhex;

class CryptoPrimitivesTest : public ::testing::Test {
protected:
    std::unique_ptr<CryptoPrimitives> crypto = nativeCryptoPrimitives();
};

TEST_F(CryptoPrimitivesTest, Sha1OfAbcIsTheFipsValue) {
    EXPECT_EQ(hex(crypto->sha1({"abc"})), "a9993e364706816aba3e25717850c26c9cd0d89d");
}

TEST_F(CryptoPrimitivesTest, Sha1HashesThePartsAsOneString) {
    EXPECT_EQ(crypto->sha1({"a", "", "bc"}), crypto->sha1({"abc"}));
}

TEST_F(CryptoPrimitivesTest, Sha512OfAbcIsTheFipsValue) {
    EXPECT_EQ(hex(crypto->sha512({"ab", "c"})),
              "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
              "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f");
}

TEST_F(CryptoPrimitivesTest, HmacSha512GivesTheRfc4231Case2Value) {
    EXPECT_EQ(hex(crypto->hmacSha512("Jefe", "what do ya want for nothing?")),
              "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea250554"
              "9758bf75c05a994a6d034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737");
}

const char* const kSp80038aPlaintext =
    "6bc1bee22e409f96e93d7e117393172a ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef f69f2445df4f9b17ad2b417be66c3710";
const char* const kSp80038aIv = "000102030405060708090a0b0c0d0e0f";

TEST_F(CryptoPrimitivesTest, Aes128CbcGivesTheSp80038aValue) {
    std::string data = unhex(kSp80038aPlaintext);
    crypto->aesCbcEncrypt(unhex("2b7e151628aed2a6abf7158809cf4f3c"), unhex(kSp80038aIv), data);
    EXPECT_EQ(hex(data),
              "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
              "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7");
}

TEST_F(CryptoPrimitivesTest, Aes256CbcGivesTheSp80038aValue) {
    std::string data = unhex(kSp80038aPlaintext);
    crypto->aesCbcEncrypt(unhex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4"),
                          unhex(kSp80038aIv), data);
    EXPECT_EQ(hex(data),
              "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
              "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b");
}

TEST_F(CryptoPrimitivesTest, Aes128OfOneBlockGivesTheFips197Value) {
    std::string data = unhex("00112233445566778899aabbccddeeff");
    crypto->aesCbcEncrypt(unhex("000102030405060708090a0b0c0d0e0f"), std::string(16, '\0'), data);
    EXPECT_EQ(hex(data), "69c4e0d86a7b0430d8cdb78070b4c55a");
}

TEST_F(CryptoPrimitivesTest, AesRefusesPartialBlocksAndOtherKeySizes) {
    std::string partial(15, 'x');
    EXPECT_THROW(crypto->aesCbcEncrypt(std::string(16, 'k'), std::string(16, 'i'), partial),
                 std::invalid_argument);
    std::string block(16, 'x');
    EXPECT_THROW(crypto->aesCbcEncrypt(std::string(24, 'k'), std::string(16, 'i'), block),
                 std::invalid_argument);
    EXPECT_THROW(crypto->aesCbcEncrypt(std::string(16, 'k'), std::string(8, 'i'), block),
                 std::invalid_argument);
}

TEST_F(CryptoPrimitivesTest, RandomBytesComeInTheAskedNumberAndDiffer) {
    const std::string first = crypto->randomBytes(32);
    const std::string second = crypto->randomBytes(32);
    EXPECT_EQ(first.size(), 32u);
    EXPECT_NE(first, second);
    EXPECT_NE(first, std::string(32, '\0'));
    EXPECT_TRUE(crypto->randomBytes(0).empty());
}

}  // namespace
}  // namespace kovrisk
