#include "workbook/file_edit/package_names.h"

#include <vector>

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

std::string resolveTarget(std::string_view source, std::string_view target) {
    // A fragment or query names no other part.
    target = target.substr(0, target.find_first_of("#?"));
    std::string joined = !target.empty() && target.front() == '/'
                             ? std::string(target)
                             : folderOf(source) + std::string(target);
    std::vector<std::string> segments;
    std::size_t at = 0;
    while (at <= joined.size()) {
        const std::size_t next = std::min(joined.find('/', at), joined.size());
        const std::string segment = joined.substr(at, next - at);
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (!segment.empty() && segment != ".") {
            segments.push_back(segment);
        }
        at = next + 1;
    }
    std::string result;
    for (const std::string& segment : segments) {
        if (!result.empty())
            result += '/';
        result += segment;
    }
    return result;
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
