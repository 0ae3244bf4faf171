#include "workbook/path_limit.h"

#include "platform/text_codec.h"
#include "support/texts.h"

namespace kovrisk {

std::size_t longestNewVersionPath(const NativePath& target, std::string_view suffix) {
    return target.native().size() + suffix.size();
}

std::string pathTooLong(const NativePath& target, std::size_t length, std::size_t longest) {
    if (longest == 0 || length <= longest)
        return {};
    return std::string(texts::kPathTooLongPrefix) + std::to_string(longest) +
           std::string(texts::kPathTooLongMiddle) + std::to_string(length) +
           std::string(texts::kPathTooLongSuffix) + toShiftJis(target);
}

std::string openPathTooLong(const NativePath& target, std::size_t longest) {
    const std::size_t length = target.native().size();
    if (longest == 0 || length <= longest)
        return {};
    return std::string(texts::kOpenPathTooLongPrefix) + std::to_string(longest) +
           std::string(texts::kOpenPathTooLongMiddle) + std::to_string(length) +
           std::string(texts::kPathTooLongSuffix) + toShiftJis(target);
}

}  // namespace kovrisk
