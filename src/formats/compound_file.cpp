#include "formats/compound_file.h"

#include <algorithm>
#include <utility>

#include "formats/utf16_upper_case.h"

namespace kovrisk::encryption {

CompoundEntry CompoundEntry::stream(std::u16string name, std::string data) {
    CompoundEntry entry;
    entry.kind = Kind::Stream;
    entry.name = std::move(name);
    entry.data = std::move(data);
    return entry;
}

CompoundEntry CompoundEntry::storage(std::u16string name, std::vector<CompoundEntry> children) {
    CompoundEntry entry;
    entry.kind = Kind::Storage;
    entry.name = std::move(name);
    entry.children = std::move(children);
    return entry;
}

CompoundEntry* CompoundEntry::child(std::u16string_view wanted) {
    const auto found = std::find_if(children.begin(), children.end(), [&](const CompoundEntry& c) {
        return compareEntryNames(c.name, wanted) == 0;
    });
    return found == children.end() ? nullptr : &*found;
}

const CompoundEntry* CompoundEntry::child(std::u16string_view wanted) const {
    return const_cast<CompoundEntry*>(this)->child(wanted);
}

int compareEntryNames(std::u16string_view left, std::u16string_view right) {
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    for (std::size_t n = 0; n < left.size(); ++n) {
        const char16_t a = utf16UpperCase(left[n]);
        const char16_t b = utf16UpperCase(right[n]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return 0;
}

}  // namespace kovrisk::encryption
