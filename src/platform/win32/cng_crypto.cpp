// The cryptographic primitives on Windows: CNG (bcrypt.dll).
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <climits>
#include <stdexcept>
#include <string>

#include "platform/crypto.h"
#include "platform/win32/bcrypt_handles.h"

namespace kovrisk {

namespace {

void check(NTSTATUS status, const char* what) {
    if (!BCRYPT_SUCCESS(status))
        throw CryptoFailure(std::string(what) + " failed, status " +
                            std::to_string(static_cast<unsigned long>(status)));
}

PUCHAR bytes(std::string_view text) {
    return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data()));
}

ULONG length(std::string_view text) {
    if (text.size() > ULONG_MAX)
        throw std::invalid_argument("data too long for CNG");
    return static_cast<ULONG>(text.size());
}

UniqueAlgorithmProvider openProvider(LPCWSTR algorithm, ULONG flags = 0) {
    UniqueAlgorithmProvider provider;
    check(BCryptOpenAlgorithmProvider(provider.put(), algorithm, nullptr, flags),
          "BCryptOpenAlgorithmProvider");
    return provider;
}

class CngCrypto : public CryptoPrimitives {
public:
    CngCrypto()
        : aes_(openProvider(BCRYPT_AES_ALGORITHM)),
          sha1_(openProvider(BCRYPT_SHA1_ALGORITHM)),
          sha512_(openProvider(BCRYPT_SHA512_ALGORITHM)),
          hmacSha512_(openProvider(BCRYPT_SHA512_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG)) {
        check(
            BCryptSetProperty(aes_.get(), BCRYPT_CHAINING_MODE,
                              reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                              sizeof(BCRYPT_CHAIN_MODE_CBC), 0),
            "BCryptSetProperty(chaining mode)");
    }

    void aesCbcEncrypt(std::string_view key, std::string_view iv, std::string& data) override {
        if ((key.size() != 16 && key.size() != 32) || iv.size() != kAesBlockSize ||
            data.size() % kAesBlockSize != 0) {
            throw std::invalid_argument("AES-CBC: bad key, IV or data length");
        }
        if (data.empty())
            return;
        UniqueKey keyHandle;
        check(BCryptGenerateSymmetricKey(aes_.get(), keyHandle.put(), nullptr, 0, bytes(key),
                                         length(key), 0),
              "BCryptGenerateSymmetricKey");
        // BCryptEncrypt updates the IV it is given.
        std::string chainingValue(iv);
        ULONG written = 0;
        check(
            BCryptEncrypt(keyHandle.get(), bytes(data), length(data), nullptr, bytes(chainingValue),
                          length(chainingValue), bytes(data), length(data), &written, 0),
            "BCryptEncrypt");
        if (written != data.size())
            throw CryptoFailure("BCryptEncrypt: short output");
    }

    std::string sha1(std::initializer_list<std::string_view> parts) override {
        return digest(sha1_, {}, parts, kSha1Size);
    }

    std::string sha512(std::initializer_list<std::string_view> parts) override {
        return digest(sha512_, {}, parts, kSha512Size);
    }

    std::string hmacSha512(std::string_view key, std::string_view data) override {
        return digest(hmacSha512_, key, {data}, kSha512Size);
    }

    std::string randomBytes(std::size_t count) override {
        std::string out(count, '\0');
        if (count > 0) {
            check(
                BCryptGenRandom(nullptr, bytes(out), length(out), BCRYPT_USE_SYSTEM_PREFERRED_RNG),
                "BCryptGenRandom");
        }
        return out;
    }

private:
    static std::string digest(const UniqueAlgorithmProvider& provider, std::string_view secret,
                              std::initializer_list<std::string_view> parts, std::size_t size) {
        UniqueHash hash;
        check(BCryptCreateHash(provider.get(), hash.put(), nullptr, 0,
                               secret.empty() ? nullptr : bytes(secret), length(secret), 0),
              "BCryptCreateHash");
        for (const std::string_view part : parts) {
            if (!part.empty())
                check(BCryptHashData(hash.get(), bytes(part), length(part), 0), "BCryptHashData");
        }
        std::string out(size, '\0');
        check(BCryptFinishHash(hash.get(), bytes(out), length(out), 0), "BCryptFinishHash");
        return out;
    }

    UniqueAlgorithmProvider aes_;
    UniqueAlgorithmProvider sha1_;
    UniqueAlgorithmProvider sha512_;
    UniqueAlgorithmProvider hmacSha512_;
};

}  // namespace

std::unique_ptr<CryptoPrimitives> nativeCryptoPrimitives() {
    return std::make_unique<CngCrypto>();
}

}  // namespace kovrisk
