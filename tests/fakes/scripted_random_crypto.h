// The platform's cryptographic primitives with the random bytes given by the test: each request
// takes the next bytes of the script, and real random bytes once the script is used up.  Makes an
// encryption repeatable, and lets a test replay the random values of a file someone else wrote.
// Counts the requests and hash calls so that tests can see what was asked.
#pragma once

#include <memory>
#include <string>

#include "platform/crypto.h"

namespace kovrisk::testing {

class ScriptedRandomCrypto : public CryptoPrimitives {
public:
    explicit ScriptedRandomCrypto(std::string script = {})
        : real_(nativeCryptoPrimitives()), script_(std::move(script)) {}

    void aesCbcEncrypt(std::string_view key, std::string_view iv, std::string& data) override {
        real_->aesCbcEncrypt(key, iv, data);
    }
    std::string sha1(std::initializer_list<std::string_view> parts) override {
        return real_->sha1(parts);
    }
    std::string sha512(std::initializer_list<std::string_view> parts) override {
        ++sha512Calls;
        return real_->sha512(parts);
    }
    std::string hmacSha512(std::string_view key, std::string_view data) override {
        return real_->hmacSha512(key, data);
    }
    std::string randomBytes(std::size_t count) override {
        ++randomRequests;
        const std::size_t scripted = std::min(count, script_.size() - used_);
        std::string out = script_.substr(used_, scripted);
        used_ += scripted;
        return out + real_->randomBytes(count - scripted);
    }

    int randomRequests = 0;
    long sha512Calls = 0;

private:
    std::unique_ptr<CryptoPrimitives> real_;
    std::string script_;
    std::size_t used_ = 0;
};

}  // namespace kovrisk::testing
