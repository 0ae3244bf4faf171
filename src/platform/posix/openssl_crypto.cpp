// The cryptographic primitives on Linux: OpenSSL's libcrypto.
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <climits>
#include <memory>
#include <stdexcept>

#include "platform/crypto.h"

namespace kovrisk {

namespace {

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct DigestFree {
    void operator()(EVP_MD* digest) const { EVP_MD_free(digest); }
};
struct CipherFree {
    void operator()(EVP_CIPHER* cipher) const { EVP_CIPHER_free(cipher); }
};

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;
using Digest = std::unique_ptr<EVP_MD, DigestFree>;
using Cipher = std::unique_ptr<EVP_CIPHER, CipherFree>;

const unsigned char* bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

void check(int result, const char* what) {
    if (result != 1)
        throw CryptoFailure(what);
}

template <typename T>
T fetched(T fetchedObject, const char* what) {
    if (!fetchedObject)
        throw CryptoFailure(what);
    return fetchedObject;
}

class OpensslCrypto : public CryptoPrimitives {
public:
    OpensslCrypto()
        : sha1_(fetched(Digest(EVP_MD_fetch(nullptr, "SHA1", nullptr)), "SHA-1 unavailable")),
          sha512_(fetched(Digest(EVP_MD_fetch(nullptr, "SHA512", nullptr)), "SHA-512 unavailable")),
          aes128_(fetched(Cipher(EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr)),
                          "AES-128-CBC unavailable")),
          aes256_(fetched(Cipher(EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr)),
                          "AES-256-CBC unavailable")),
          digestContext_(fetched(DigestContext(EVP_MD_CTX_new()), "no digest context")) {}

    void aesCbcEncrypt(std::string_view key, std::string_view iv, std::string& data) override {
        if ((key.size() != 16 && key.size() != 32) || iv.size() != kAesBlockSize ||
            data.size() % kAesBlockSize != 0 || data.size() > INT_MAX) {
            throw std::invalid_argument("AES-CBC: bad key, IV or data length");
        }
        const CipherContext context(EVP_CIPHER_CTX_new());
        if (!context)
            throw CryptoFailure("no cipher context");
        check(EVP_EncryptInit_ex2(context.get(), key.size() == 16 ? aes128_.get() : aes256_.get(),
                                  bytes(key), bytes(iv), nullptr),
              "AES-CBC init");
        check(EVP_CIPHER_CTX_set_padding(context.get(), 0), "AES-CBC padding");
        auto* inOut = reinterpret_cast<unsigned char*>(data.data());
        int written = 0;
        check(
            EVP_EncryptUpdate(context.get(), inOut, &written, inOut, static_cast<int>(data.size())),
            "AES-CBC update");
        int last = 0;
        check(EVP_EncryptFinal_ex(context.get(), inOut + written, &last), "AES-CBC final");
        if (static_cast<std::size_t>(written + last) != data.size())
            throw CryptoFailure("AES-CBC: short output");
    }

    std::string sha1(std::initializer_list<std::string_view> parts) override {
        return digest(sha1_.get(), parts);
    }

    std::string sha512(std::initializer_list<std::string_view> parts) override {
        return digest(sha512_.get(), parts);
    }

    std::string hmacSha512(std::string_view key, std::string_view data) override {
        std::string out(kSha512Size, '\0');
        unsigned int length = 0;
        if (HMAC(sha512_.get(), key.data(), static_cast<int>(key.size()), bytes(data), data.size(),
                 reinterpret_cast<unsigned char*>(out.data()), &length) == nullptr ||
            length != kSha512Size) {
            throw CryptoFailure("HMAC-SHA512");
        }
        return out;
    }

    std::string randomBytes(std::size_t count) override {
        std::string out(count, '\0');
        if (count > INT_MAX)
            throw std::invalid_argument("too many random bytes");
        check(RAND_bytes(reinterpret_cast<unsigned char*>(out.data()), static_cast<int>(count)),
              "random bytes");
        return out;
    }

private:
    std::string digest(const EVP_MD* kind, std::initializer_list<std::string_view> parts) {
        EVP_MD_CTX* context = digestContext_.get();
        check(EVP_DigestInit_ex2(context, kind, nullptr), "digest init");
        for (const std::string_view part : parts)
            check(EVP_DigestUpdate(context, part.data(), part.size()), "digest update");
        std::string out(static_cast<std::size_t>(EVP_MD_get_size(kind)), '\0');
        check(EVP_DigestFinal_ex(context, reinterpret_cast<unsigned char*>(out.data()), nullptr),
              "digest final");
        return out;
    }

    Digest sha1_;
    Digest sha512_;
    Cipher aes128_;
    Cipher aes256_;
    // Reused by every digest: the password hash asks for 100,000 of them in a row.
    DigestContext digestContext_;
};

}  // namespace

std::unique_ptr<CryptoPrimitives> nativeCryptoPrimitives() {
    return std::make_unique<OpensslCrypto>();
}

}  // namespace kovrisk
