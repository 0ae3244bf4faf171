// A compound file (the OLE2 container of binary workbooks and of encrypted .xlsx files) as a tree
// of storages and streams held in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovrisk::encryption {

struct CompoundEntry {
    enum class Kind { Storage, Stream };

    Kind kind = Kind::Stream;
    // At most 31 UTF-16 units.
    std::u16string name;
    // A stream's bytes.
    std::string data;
    // A storage's entries, in any order.
    std::vector<CompoundEntry> children;
    // 16 bytes as stored, or empty for none.
    std::string classId;
    std::uint32_t stateBits = 0;
    // FILETIME values as stored; streams have none.
    std::uint64_t creationTime = 0;
    std::uint64_t modificationTime = 0;

    static CompoundEntry stream(std::u16string name, std::string data);
    static CompoundEntry storage(std::u16string name, std::vector<CompoundEntry> children);

    // The child of this storage called `name` (compared as the container compares names: case
    // folded), or nullptr.
    CompoundEntry* child(std::u16string_view name);
    const CompoundEntry* child(std::u16string_view name) const;
};

// The root storage's name.
inline constexpr std::u16string_view kRootEntryName = u"Root Entry";

// The order in which a storage's entries are kept: shorter names first, then by case-folded UTF-16
// units.  Negative, zero or positive.
int compareEntryNames(std::u16string_view left, std::u16string_view right);

}  // namespace kovrisk::encryption
