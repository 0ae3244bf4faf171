#include "formats/compound_file_writer.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "formats/compound_file_format.h"
#include "formats/little_endian.h"

namespace kovrisk::encryption {

namespace {

using namespace cfb;

constexpr std::size_t kSectorSize = 512;
constexpr std::size_t kIdsPerSector = kSectorSize / 4;
constexpr std::size_t kIdsPerDifatSector = kIdsPerSector - 1;
constexpr std::size_t kMaxVersion3StreamSize = 0x80000000u;

std::size_t sectorsFor(std::size_t bytes, std::size_t sectorSize = kSectorSize) {
    return (bytes + sectorSize - 1) / sectorSize;
}

struct DirectoryEntry {
    const CompoundEntry* entry = nullptr;
    bool root = false;
    std::uint32_t left = kNoStream;
    std::uint32_t right = kNoStream;
    std::uint32_t child = kNoStream;
    std::uint8_t color = kBlack;
    std::uint32_t start = kEndOfChain;
    std::uint64_t size = 0;
};

// The directory as a flat table: entry 0 is the root, every storage's children follow in name
// order, each storage's children form a tree built by halving, so every level but the deepest is
// full.  All nodes are black but those of an incomplete deepest level, which are red: every path
// from a tree's root to a leaf then passes the same number of black nodes, and no red node has a
// red child.
class Directory {
public:
    explicit Directory(const CompoundEntry& root) {
        entries_.push_back({&root, true});
        addStorage(0);
    }
    std::vector<DirectoryEntry>& entries() { return entries_; }

private:
    void addStorage(std::uint32_t storageId) {
        const CompoundEntry& storage = *entries_[storageId].entry;
        std::vector<const CompoundEntry*> children;
        for (const CompoundEntry& child : storage.children) {
            if (child.name.empty() || child.name.size() > kMaxNameUnits)
                throw std::invalid_argument("compound file entry name of 1 to 31 units expected");
            children.push_back(&child);
        }
        std::sort(children.begin(), children.end(), [](const auto* a, const auto* b) {
            return compareEntryNames(a->name, b->name) < 0;
        });
        for (std::size_t n = 1; n < children.size(); ++n) {
            if (compareEntryNames(children[n - 1]->name, children[n]->name) == 0)
                throw std::invalid_argument("two compound file entries of one name");
        }
        const std::uint32_t first = static_cast<std::uint32_t>(entries_.size());
        for (const CompoundEntry* child : children)
            entries_.push_back({child});
        std::vector<int> depths(children.size(), 0);
        entries_[storageId].child = link(first, 0, children.size(), 0, depths);
        const int deepest = children.empty() ? 0 : *std::max_element(depths.begin(), depths.end());
        const auto atDeepest = std::count(depths.begin(), depths.end(), deepest);
        if (atDeepest != (std::ptrdiff_t{1} << deepest)) {
            for (std::size_t n = 0; n < children.size(); ++n) {
                if (depths[n] == deepest)
                    entries_[first + n].color = kRed;
            }
        }
        for (std::size_t n = 0; n < children.size(); ++n) {
            if (children[n]->kind == CompoundEntry::Kind::Storage)
                addStorage(static_cast<std::uint32_t>(first + n));
        }
    }

    // The tree of the sorted children [begin, end) under their middle one; returns its id.
    std::uint32_t link(std::uint32_t first, std::size_t begin, std::size_t end, int depth,
                       std::vector<int>& depths) {
        if (begin == end)
            return kNoStream;
        const std::size_t middle = begin + (end - begin) / 2;
        depths[middle] = depth;
        const std::uint32_t left = link(first, begin, middle, depth + 1, depths);
        const std::uint32_t right = link(first, middle + 1, end, depth + 1, depths);
        entries_[first + middle].left = left;
        entries_[first + middle].right = right;
        return static_cast<std::uint32_t>(first + middle);
    }

    std::vector<DirectoryEntry> entries_;
};

void putName(std::string& out, std::size_t at, std::u16string_view name) {
    for (std::size_t n = 0; n < name.size(); ++n)
        storeLittleEndian(out, at + 2 * n, name[n], 2);
    storeLittleEndian(out, at + kNameLengthAt, (name.size() + 1) * 2, 2);
}

std::string directoryBytes(const std::vector<DirectoryEntry>& entries) {
    const std::size_t perSector = kSectorSize / kDirectoryEntrySize;
    const std::size_t count = sectorsFor(entries.size(), perSector) * perSector;
    std::string out(count * kDirectoryEntrySize, '\0');
    for (std::size_t id = 0; id < count; ++id) {
        const std::size_t at = id * kDirectoryEntrySize;
        if (id >= entries.size()) {
            store32(out, at + kLeftSiblingAt, kNoStream);
            store32(out, at + kRightSiblingAt, kNoStream);
            store32(out, at + kChildAt, kNoStream);
            continue;
        }
        const DirectoryEntry& e = entries[id];
        const CompoundEntry& entry = *e.entry;
        const bool storage = entry.kind == CompoundEntry::Kind::Storage;
        putName(out, at, e.root ? kRootEntryName : std::u16string_view(entry.name));
        out[at + kObjectTypeAt] = static_cast<char>(e.root    ? kRootStorageObject
                                                    : storage ? kStorageObject
                                                              : kStreamObject);
        out[at + kColorAt] = static_cast<char>(e.root ? kBlack : e.color);
        store32(out, at + kLeftSiblingAt, e.left);
        store32(out, at + kRightSiblingAt, e.right);
        store32(out, at + kChildAt, e.child);
        if (storage) {
            if (entry.classId.size() == 16)
                out.replace(at + kClassIdAt, 16, entry.classId);
            store32(out, at + kStateBitsAt, entry.stateBits);
            storeLittleEndian(out, at + kCreationTimeAt, e.root ? 0 : entry.creationTime, 8);
            storeLittleEndian(out, at + kModificationTimeAt, entry.modificationTime, 8);
        }
        const bool holdsData = !storage || e.root;
        store32(out, at + kStartSectorAt, holdsData ? e.start : 0);
        storeLittleEndian(out, at + kStreamSizeAt, holdsData ? e.size : 0, 8);
    }
    return out;
}

// Marks `count` sectors from `first` on as one chain in `table`.
void chainUp(std::vector<std::uint32_t>& table, std::size_t first, std::size_t count) {
    for (std::size_t n = 0; n < count; ++n)
        table[first + n] = n + 1 == count ? kEndOfChain : static_cast<std::uint32_t>(first + n + 1);
}

// Where everything goes, by sector: the large streams from sector 0 on, in directory order, then
// the mini stream, the directory, the mini allocation table, the allocation table and the table
// of the allocation table's own sectors.
struct SectorLayout {
    std::vector<const DirectoryEntry*> large;
    std::string miniStream;
    std::vector<std::uint32_t> miniFat;
    std::size_t miniStreamStart = 0;
    std::size_t miniStreamSectors = 0;
    std::size_t directoryStart = 0;
    std::size_t directorySectors = 0;
    std::size_t miniFatStart = 0;
    std::size_t miniFatSectors = 0;
    std::size_t fatStart = 0;
    std::size_t fatSectors = 0;
    std::size_t difatStart = 0;
    std::size_t difatSectors = 0;
    std::size_t totalSectors = 0;
};

// Gives every stream its place and size: small ones in the mini stream, 64 bytes a mini sector,
// the others sectors of their own.  The root entry holds the mini stream.
void placeStreams(std::vector<DirectoryEntry>& entries, SectorLayout& layout) {
    std::size_t sector = 0;
    for (DirectoryEntry& e : entries) {
        if (e.root || e.entry->kind != CompoundEntry::Kind::Stream)
            continue;
        const std::string& data = e.entry->data;
        // A version 3 stream holds at most 2 GB (its size's upper half is not read).
        if (data.size() > kMaxVersion3StreamSize)
            throw std::invalid_argument("stream too large for a version 3 compound file");
        e.size = data.size();
        if (data.empty())
            continue;
        if (data.size() < kMiniStreamCutoff) {
            e.start = static_cast<std::uint32_t>(layout.miniFat.size());
            const std::size_t count = sectorsFor(data.size(), kMiniSectorSize);
            layout.miniFat.resize(layout.miniFat.size() + count);
            chainUp(layout.miniFat, e.start, count);
            layout.miniStream += data;
            layout.miniStream.resize(layout.miniFat.size() * kMiniSectorSize, '\0');
        } else {
            e.start = static_cast<std::uint32_t>(sector);
            sector += sectorsFor(data.size());
            layout.large.push_back(&e);
        }
    }
    layout.miniStreamStart = sector;
    layout.miniStreamSectors = sectorsFor(layout.miniStream.size());
    if (!layout.miniStream.empty()) {
        entries[0].start = static_cast<std::uint32_t>(layout.miniStreamStart);
        entries[0].size = layout.miniStream.size();
    }
}

// Places the tables after the streams.  The allocation table covers every sector, its own and
// those of the table of its sectors.
void placeTables(std::size_t directorySize, SectorLayout& layout) {
    std::size_t sector = layout.miniStreamStart + layout.miniStreamSectors;
    layout.directoryStart = sector;
    layout.directorySectors = sectorsFor(directorySize);
    sector += layout.directorySectors;
    layout.miniFatStart = sector;
    layout.miniFatSectors = sectorsFor(layout.miniFat.size() * 4);
    sector += layout.miniFatSectors;

    std::size_t fatSectors = 1;
    std::size_t difatSectors = 0;
    for (;;) {
        difatSectors = fatSectors <= kHeaderDifatCount
                           ? 0
                           : sectorsFor(fatSectors - kHeaderDifatCount, kIdsPerDifatSector);
        if (fatSectors * kIdsPerSector >= sector + fatSectors + difatSectors)
            break;
        ++fatSectors;
    }
    layout.fatStart = sector;
    layout.fatSectors = fatSectors;
    layout.difatStart = layout.fatStart + fatSectors;
    layout.difatSectors = difatSectors;
    layout.totalSectors = layout.difatStart + difatSectors;
    if (layout.totalSectors > kMaxRegularSector)
        throw std::invalid_argument("too large for a compound file");
}

std::vector<std::uint32_t> allocationTable(const SectorLayout& layout) {
    std::vector<std::uint32_t> fat(layout.fatSectors * kIdsPerSector, kFreeSector);
    for (const DirectoryEntry* e : layout.large)
        chainUp(fat, e->start, sectorsFor(e->size));
    chainUp(fat, layout.miniStreamStart, layout.miniStreamSectors);
    chainUp(fat, layout.directoryStart, layout.directorySectors);
    chainUp(fat, layout.miniFatStart, layout.miniFatSectors);
    for (std::size_t n = 0; n < layout.fatSectors; ++n)
        fat[layout.fatStart + n] = kFatSector;
    for (std::size_t n = 0; n < layout.difatSectors; ++n)
        fat[layout.difatStart + n] = kDifatSector;
    return fat;
}

void appendHeader(std::string& out, const SectorLayout& layout) {
    out += kSignature;
    out.append(16, '\0');  // class id
    append16(out, 0x003E);
    append16(out, 3);
    append16(out, 0xFFFE);
    append16(out, 9);
    append16(out, 6);
    out.append(6, '\0');
    append32(out, 0);  // directory sectors: none counted in version 3
    append32(out, static_cast<std::uint32_t>(layout.fatSectors));
    append32(out, static_cast<std::uint32_t>(layout.directoryStart));
    append32(out, 0);  // transaction signature
    append32(out, kMiniStreamCutoff);
    append32(out,
             layout.miniFatSectors ? static_cast<std::uint32_t>(layout.miniFatStart) : kEndOfChain);
    append32(out, static_cast<std::uint32_t>(layout.miniFatSectors));
    append32(out,
             layout.difatSectors ? static_cast<std::uint32_t>(layout.difatStart) : kEndOfChain);
    append32(out, static_cast<std::uint32_t>(layout.difatSectors));
    for (std::size_t n = 0; n < kHeaderDifatCount; ++n) {
        append32(out, n < layout.fatSectors ? static_cast<std::uint32_t>(layout.fatStart + n)
                                            : kFreeSector);
    }
}

// The table of the allocation table's sectors beyond the header's 109, each of its sectors ending
// with the next one's number.
void appendDifat(std::string& out, const SectorLayout& layout) {
    for (std::size_t n = 0; n < layout.difatSectors; ++n) {
        for (std::size_t slot = 0; slot < kIdsPerDifatSector; ++slot) {
            const std::size_t index = kHeaderDifatCount + n * kIdsPerDifatSector + slot;
            append32(out, index < layout.fatSectors
                              ? static_cast<std::uint32_t>(layout.fatStart + index)
                              : kFreeSector);
        }
        append32(out, n + 1 < layout.difatSectors
                          ? static_cast<std::uint32_t>(layout.difatStart + n + 1)
                          : kEndOfChain);
    }
}

}  // namespace

std::string writeCompoundFile(const CompoundEntry& root) {
    Directory directory(root);
    std::vector<DirectoryEntry>& entries = directory.entries();
    SectorLayout layout;
    placeStreams(entries, layout);
    const std::string directoryTable = directoryBytes(entries);
    placeTables(directoryTable.size(), layout);

    // The header; then every sector in order.
    std::string out;
    out.reserve(kHeaderSize + layout.totalSectors * kSectorSize);
    appendHeader(out, layout);
    const auto padToSector = [&out] {
        out.resize(kHeaderSize + sectorsFor(out.size() - kHeaderSize) * kSectorSize, '\0');
    };
    for (const DirectoryEntry* e : layout.large) {
        out += e->entry->data;
        padToSector();
    }
    out += layout.miniStream;
    padToSector();
    out += directoryTable;
    for (const std::uint32_t next : layout.miniFat)
        append32(out, next);
    for (std::size_t n = layout.miniFat.size(); n < layout.miniFatSectors * kIdsPerSector; ++n)
        append32(out, kFreeSector);
    for (const std::uint32_t next : allocationTable(layout))
        append32(out, next);
    appendDifat(out, layout);
    return out;
}

}  // namespace kovrisk::encryption
