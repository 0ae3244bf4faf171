#include "formats/compound_file.h"

#include <algorithm>
#include <utility>

namespace kovrisk::encryption {

namespace {

// Upper case for the letters that have one in the scripts workbook entry names use: Latin
// (ASCII and Latin-1), Greek and Cyrillic.  Everything else, Japanese included, has no case.
char16_t folded(char16_t unit) {
    if ((unit >= u'a' && unit <= u'z') || (unit >= 0x00E0 && unit <= 0x00FE && unit != 0x00F7) ||
        (unit >= 0x03B1 && unit <= 0x03C9 && unit != 0x03C2) ||
        (unit >= 0x0430 && unit <= 0x044F)) {
        return static_cast<char16_t>(unit - 0x20);
    }
    if (unit >= 0x0450 && unit <= 0x045F)
        return static_cast<char16_t>(unit - 0x50);
    return unit;
}

}  // namespace

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
        const char16_t a = folded(left[n]);
        const char16_t b = folded(right[n]);
        if (a != b)
            return a < b ? -1 : 1;
    }
    return 0;
}

}  // namespace kovrisk::encryption
