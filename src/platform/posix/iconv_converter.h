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

private:
    iconv_t cd_;
};

}  // namespace kovrisk
