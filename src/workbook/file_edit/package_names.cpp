#include "workbook/file_edit/package_names.h"

namespace kovrisk::file_edit {

namespace {

char foldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string folderOf(std::string_view part) {
    const std::size_t slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash + 1));
}

bool samePartName(std::string_view left, std::string_view right) {
    if (left.size() != right.size())
        return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (foldAscii(left[i]) != foldAscii(right[i]))
            return false;
    }
    return true;
}

}  // namespace kovrisk::file_edit
