#include "formats/compound_file_reader.h"

#include <vector>

#include "formats/compound_file_format.h"
#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption {

namespace {

using namespace cfb;

[[noreturn]] void damaged(const std::string& what) {
    throw EncryptionRefused(EncryptionRefusal::DamagedCompoundFile,
                            "damaged compound file: " + what);
}

class Reader {
public:
    explicit Reader(std::string_view file) : file_(file) {
        const std::uint16_t major = load16(file, kMajorVersionAt);
        const std::uint16_t shift = load16(file, kSectorShiftAt);
        if (load16(file, kByteOrderAt) != 0xFFFE ||
            !((major == 3 && shift == 9) || (major == 4 && shift == 12))) {
            damaged("unknown version or sector size");
        }
        if (load16(file, kMiniSectorShiftAt) != 6)
            damaged("unknown mini sector size");
        sectorSize_ = std::size_t{1} << shift;
        // Sectors that start inside the file; the last one may be cut short.
        sectorCount_ = file.size() <= sectorSize_ ? 0 : (file.size() - 1) / sectorSize_;
        // The format fixes the cutoff; a reader that trusted another value would take streams from
        // the wrong table.
        if (load32(file, kMiniStreamCutoffAt) != kMiniStreamCutoff)
            damaged("mini stream cutoff other than 4096");
        readFat();
    }

    CompoundEntry root() {
        readDirectory();
        if (directory_.size() < 1 || type(0) != kRootStorageObject)
            damaged("no root entry");
        CompoundEntry root = CompoundEntry::storage(std::u16string(kRootEntryName), {});
        describe(0, root);
        // The mini stream is the root entry's own stream.
        miniStream_ = chainBytes(
            fat_, load32(entry(0), kStartSectorAt), streamSize(0),
            [&](std::uint32_t sector) { return regularSector(sector); }, sectorSize_, file_.size(),
            claimed_);
        readMiniFat();
        std::vector<bool> visited(directory_.size(), false);
        visited[0] = true;
        addChildren(load32(entry(0), kChildAt), root, visited, 0);
        return root;
    }

private:
    std::string_view regularSector(std::uint32_t sector) const {
        if (sector >= sectorCount_)
            damaged("sector " + std::to_string(sector) + " lies past the end of the file");
        const std::size_t at = (std::size_t{sector} + 1) * sectorSize_;
        return file_.substr(at, sectorSize_);
    }

    // The sector numbers of a chain, checked against loops and the table's end.
    static std::vector<std::uint32_t> chain(const std::vector<std::uint32_t>& table,
                                            std::uint32_t start, const char* what) {
        std::vector<std::uint32_t> sectors;
        std::uint32_t sector = start;
        while (sector != kEndOfChain) {
            if (sector >= table.size() || sectors.size() >= table.size())
                damaged(std::string("broken ") + what + " chain");
            sectors.push_back(sector);
            sector = table[sector];
        }
        return sectors;
    }

    // A stream's bytes.  Every sector it takes is claimed: a sector two streams share (which no
    // writer makes) would let a small file fill memory with copies of itself.
    // `available` is the size of what the sectors lie in (the file, or the mini stream).
    template <typename SectorOf>
    static std::string chainBytes(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                  std::uint64_t size, SectorOf sectorOf, std::size_t sectorSize,
                                  std::size_t available, std::vector<bool>& claimed) {
        std::string out;
        if (size == 0)
            return out;
        // Checked before any arithmetic on the size (one near 2^64 would wrap) and before any
        // memory is reserved for it.
        if (size > available)
            damaged("a stream larger than the file");
        const std::vector<std::uint32_t> sectors = chain(table, start, "stream");
        if (sectors.size() < (size + sectorSize - 1) / sectorSize)
            damaged("a stream's chain is shorter than its size");
        out.reserve(size);
        for (const std::uint32_t sector : sectors) {
            if (out.size() >= size)
                break;
            if (claimed.size() < table.size())
                claimed.resize(table.size(), false);
            if (claimed[sector])
                damaged("two streams share a sector");
            claimed[sector] = true;
            const std::string_view bytes = sectorOf(sector);
            const std::size_t wanted = std::min<std::size_t>(sectorSize, size - out.size());
            if (bytes.size() < wanted)
                damaged("a stream runs past the end of the file");
            out.append(bytes.substr(0, wanted));
        }
        return out;
    }

    void readFat() {
        std::vector<std::uint32_t> fatSectors;
        const std::uint32_t fatCount = load32(file_, kFatSectorCountAt);
        if (fatCount > sectorCount_)
            damaged("more allocation table sectors than sectors");
        for (std::size_t n = 0; n < kHeaderDifatCount && fatSectors.size() < fatCount; ++n)
            fatSectors.push_back(load32(file_, kDifatAt + 4 * n));
        std::uint32_t difat = load32(file_, kFirstDifatSectorAt);
        std::size_t difatSeen = 0;
        const std::size_t perDifatSector = sectorSize_ / 4 - 1;
        while (fatSectors.size() < fatCount) {
            if (difat == kEndOfChain || difat == kFreeSector || ++difatSeen > sectorCount_)
                damaged("allocation table sectors missing");
            const std::string_view sector = regularSector(difat);
            // The file's last sector may be cut short; a table sector must be whole.
            if (sector.size() < sectorSize_)
                damaged("allocation table index cut short");
            for (std::size_t n = 0; n < perDifatSector && fatSectors.size() < fatCount; ++n)
                fatSectors.push_back(load32(sector, 4 * n));
            difat = load32(sector, 4 * perDifatSector);
        }
        fat_.reserve(fatSectors.size() * (sectorSize_ / 4));
        for (const std::uint32_t sector : fatSectors) {
            const std::string_view bytes = regularSector(sector);
            if (bytes.size() < sectorSize_)
                damaged("allocation table cut short");
            for (std::size_t n = 0; n < sectorSize_ / 4; ++n)
                fat_.push_back(load32(bytes, 4 * n));
        }
    }

    void readDirectory() {
        for (const std::uint32_t sector :
             chain(fat_, load32(file_, kFirstDirectorySectorAt), "directory")) {
            const std::string_view bytes = regularSector(sector);
            for (std::size_t at = 0; at + kDirectoryEntrySize <= bytes.size();
                 at += kDirectoryEntrySize) {
                directory_.push_back(bytes.substr(at, kDirectoryEntrySize));
            }
        }
    }

    void readMiniFat() {
        const std::uint32_t first = load32(file_, kFirstMiniFatSectorAt);
        if (first == kEndOfChain || first == kFreeSector)
            return;
        for (const std::uint32_t sector : chain(fat_, first, "mini allocation table")) {
            const std::string_view bytes = regularSector(sector);
            for (std::size_t n = 0; n + 4 <= bytes.size(); n += 4)
                miniFat_.push_back(load32(bytes, n));
        }
    }

    std::string_view entry(std::uint32_t id) const { return directory_[id]; }
    std::uint8_t type(std::uint32_t id) const {
        return static_cast<std::uint8_t>(entry(id)[kObjectTypeAt]);
    }
    std::uint64_t streamSize(std::uint32_t id) const {
        // Version 3 files may hold anything in the upper half.
        return sectorSize_ == 512 ? load32(entry(id), kStreamSizeAt)
                                  : load64(entry(id), kStreamSizeAt);
    }

    void describe(std::uint32_t id, CompoundEntry& out) const {
        const std::string_view bytes = entry(id);
        const std::uint16_t nameBytes = load16(bytes, kNameLengthAt);
        if (nameBytes > 64 || nameBytes % 2 != 0)
            damaged("entry name too long");
        out.name.clear();
        for (std::size_t n = 0; n + 2 < nameBytes; n += 2)  // the length counts the terminator
            out.name += static_cast<char16_t>(load16(bytes, n));
        if (out.name.empty() && id != 0)
            damaged("an entry without a name");
        if (type(id) != kStreamObject) {
            out.classId = std::string(bytes.substr(kClassIdAt, 16));
            if (out.classId == std::string(16, '\0'))
                out.classId.clear();
            out.stateBits = load32(bytes, kStateBitsAt);
            out.creationTime = load64(bytes, kCreationTimeAt);
            out.modificationTime = load64(bytes, kModificationTimeAt);
        }
    }

    // Adds the entries of the sibling tree under `id` to `storage`, depth first.
    void addChildren(std::uint32_t id, CompoundEntry& storage, std::vector<bool>& visited,
                     int depth) {
        if (id == kNoStream)
            return;
        if (id >= directory_.size() || visited[id] || depth > 4096)
            damaged("directory tree loops or points outside the directory");
        visited[id] = true;
        addChildren(load32(entry(id), kLeftSiblingAt), storage, visited, depth + 1);
        const std::uint8_t kind = type(id);
        if (kind == kStorageObject) {
            CompoundEntry child = CompoundEntry::storage({}, {});
            describe(id, child);
            addChildren(load32(entry(id), kChildAt), child, visited, depth + 1);
            storage.children.push_back(std::move(child));
        } else if (kind == kStreamObject) {
            CompoundEntry child = CompoundEntry::stream({}, {});
            describe(id, child);
            child.data = streamData(id);
            storage.children.push_back(std::move(child));
        } else {
            damaged("unknown directory entry kind");
        }
        addChildren(load32(entry(id), kRightSiblingAt), storage, visited, depth + 1);
    }

    std::string streamData(std::uint32_t id) {
        const std::uint64_t size = streamSize(id);
        const std::uint32_t start = load32(entry(id), kStartSectorAt);
        if (size < kMiniStreamCutoff) {
            return chainBytes(
                miniFat_, start, size,
                [&](std::uint32_t sector) {
                    const std::size_t at = std::size_t{sector} * kMiniSectorSize;
                    if (at >= miniStream_.size())
                        damaged("mini sector past the end of the mini stream");
                    return std::string_view(miniStream_).substr(at, kMiniSectorSize);
                },
                kMiniSectorSize, miniStream_.size(), miniClaimed_);
        }
        return chainBytes(
            fat_, start, size, [&](std::uint32_t sector) { return regularSector(sector); },
            sectorSize_, file_.size(), claimed_);
    }

    std::string_view file_;
    std::size_t sectorSize_ = 512;
    std::size_t sectorCount_ = 0;
    std::vector<std::uint32_t> fat_;
    std::vector<std::uint32_t> miniFat_;
    std::vector<std::string_view> directory_;
    std::string miniStream_;
    std::vector<bool> claimed_;
    std::vector<bool> miniClaimed_;
};

}  // namespace

bool looksLikeCompoundFile(std::string_view file) {
    return file.substr(0, kSignature.size()) == kSignature;
}

CompoundEntry readCompoundFile(std::string_view file) {
    if (!looksLikeCompoundFile(file))
        throw EncryptionRefused(EncryptionRefusal::NotAWorkbookFile, "not a compound file");
    if (file.size() < kHeaderSize)
        damaged("shorter than its header");
    try {
        return Reader(file).root();
    } catch (const EncryptionRefused&) {
        throw;
    } catch (const std::exception& failure) {
        // Memory a hostile size asked for, say: refused like any other damage.
        damaged(failure.what());
    }
}

}  // namespace kovrisk::encryption
