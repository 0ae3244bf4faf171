// Owns an iconv conversion descriptor.
#pragma once

#include <iconv.h>

#include <string>
#include <string_view>

namespace kovrisk {

class IconvConverter {
public:
    IconvConverter(const char* to, const char* from);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    // Converts as much of `input` as forms whole characters and appends it to `output`; returns
    // false at the first sequence it cannot take, leaving `input` there.
    bool convert(std::string_view& input, std::string& output);
    // For a converter from UTF-8: converts all of `utf8`, each character the target cannot hold
    // (or byte that starts no UTF-8 character) turned into "?".
    std::string convertFromUtf8(std::string_view utf8);

private:
    iconv_t cd_;
};

}  // namespace kovrisk
