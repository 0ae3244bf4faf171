#include "formats/shared_string_table.h"

#include <algorithm>

#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::encryption::biff {

namespace {

constexpr std::uint8_t kHighByte = 0x01;
constexpr std::uint8_t kExtended = 0x04;
constexpr std::uint8_t kRich = 0x08;
constexpr std::size_t kMaxBuckets = 128;
constexpr std::uint16_t kMinBucketSize = 8;

[[noreturn]] void damaged(const char* what) {
    throw EncryptionRefused(EncryptionRefusal::DamagedWorkbookStream, what);
}

// Reads the table's data across its records.
class Cursor {
public:
    Cursor(std::string_view stream, const std::vector<Record>& records,
           const std::vector<std::size_t>& parts)
        : stream_(stream), records_(records), parts_(parts), at_(records[parts[0]].dataAt()) {}

    // Moves past the ends of records to where the next byte is, if there is one.
    bool more() {
        while (at_ == end() && part_ + 1 < parts_.size()) {
            ++part_;
            at_ = record().dataAt();
        }
        return at_ < end();
    }
    std::size_t at() const { return at_; }
    std::size_t recordStart() const { return record().at; }
    std::uint8_t byte() {
        if (!more())
            damaged("a shared string runs past its records");
        return static_cast<std::uint8_t>(stream_[at_++]);
    }
    std::uint32_t number(int size) {
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i)
            value |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return value;
    }
    void skip(std::uint64_t count) {
        while (count > 0) {
            if (!more())
                damaged("a shared string runs past its records");
            const std::size_t step =
                static_cast<std::size_t>(std::min<std::uint64_t>(count, end() - at_));
            at_ += step;
            count -= step;
        }
    }
    // `count` characters; a record boundary inside them starts with their width again.  Appends
    // them to `text` when it is given.
    void characters(std::size_t count, bool high, std::u16string* text) {
        while (count > 0) {
            if (at_ == end()) {
                if (part_ + 1 >= parts_.size())
                    damaged("a shared string runs past its records");
                ++part_;
                at_ = record().dataAt();
                high = (byte() & kHighByte) != 0;
                continue;
            }
            const std::size_t width = high ? 2 : 1;
            const std::size_t step = std::min(count, (end() - at_) / width);
            if (step == 0)
                damaged("a shared string's character is cut by a record boundary");
            if (text) {
                for (std::size_t i = 0; i < step; ++i) {
                    text->push_back(
                        high ? static_cast<char16_t>(load16(stream_, at_ + 2 * i))
                             : static_cast<char16_t>(static_cast<std::uint8_t>(stream_[at_ + i])));
                }
            }
            at_ += step * width;
            count -= step;
        }
    }

private:
    const Record& record() const { return records_[parts_[part_]]; }
    std::size_t end() const { return record().end(); }

    std::string_view stream_;
    const std::vector<Record>& records_;
    const std::vector<std::size_t>& parts_;
    std::size_t part_ = 0;
    std::size_t at_;
};

}  // namespace

SharedStrings readSharedStrings(std::string_view stream, const std::vector<Record>& records,
                                std::size_t sst, const std::vector<std::u16string>& lookedFor) {
    SharedStrings table;
    table.records.push_back(sst);
    for (std::size_t i = sst + 1; i < records.size() && records[i].type == kContinue; ++i)
        table.records.push_back(i);
    table.found.assign(lookedFor.size(), -1);
    Cursor cursor(stream, records, table.records);
    table.total = cursor.number(4);
    table.unique = cursor.number(4);
    // Each string takes at least 3 bytes: a count beyond the data is no table.
    if (table.unique > stream.size() / 3)
        damaged("the shared string table counts more strings than it can hold");
    table.starts.reserve(table.unique);
    table.recordStarts.reserve(table.unique);
    std::u16string text;
    for (std::uint32_t index = 0; index < table.unique; ++index) {
        if (!cursor.more())
            damaged("the shared string table holds fewer strings than it counts");
        table.starts.push_back(cursor.at());
        table.recordStarts.push_back(cursor.recordStart());
        const std::size_t count = cursor.number(2);
        const std::uint8_t flags = cursor.byte();
        const std::uint32_t runs = (flags & kRich) ? cursor.number(2) : 0;
        const std::uint32_t extended = (flags & kExtended) ? cursor.number(4) : 0;
        const bool plain = (flags & (kRich | kExtended)) == 0;
        const bool compare =
            plain && std::any_of(lookedFor.begin(), lookedFor.end(),
                                 [&](const std::u16string& t) { return t.size() == count; });
        text.clear();
        cursor.characters(count, (flags & kHighByte) != 0, compare ? &text : nullptr);
        cursor.skip(4ull * runs + extended);
        for (std::size_t i = 0; compare && i < lookedFor.size(); ++i) {
            if (table.found[i] < 0 && text == lookedFor[i])
                table.found[i] = index;
        }
    }
    table.trailingData = cursor.more();
    return table;
}

std::string sharedString(std::u16string_view text) {
    std::string out;
    append16(out, static_cast<std::uint16_t>(text.size()));
    out += static_cast<char>(kHighByte);
    return out + utf16LittleEndian(text);
}

std::uint16_t extSstBucketSize(std::size_t strings, std::uint16_t current) {
    const std::size_t least =
        std::max<std::size_t>(kMinBucketSize, (strings + kMaxBuckets - 1) / kMaxBuckets);
    if (current >= least)
        return current;
    return static_cast<std::uint16_t>(std::min<std::size_t>(least, 0xFFFF));
}

std::size_t extSstDataSize(std::size_t strings, std::uint16_t bucketSize) {
    return 2 + 8 * ((strings + bucketSize - 1) / bucketSize);
}

std::string extSstData(const SharedStrings& table, std::uint16_t bucketSize) {
    std::string out;
    append16(out, bucketSize);
    for (std::size_t i = 0; i < table.starts.size(); i += bucketSize) {
        append32(out, static_cast<std::uint32_t>(table.starts[i]));
        append16(out, static_cast<std::uint16_t>(table.starts[i] - table.recordStarts[i]));
        append16(out, 0);
    }
    return out;
}

}  // namespace kovrisk::encryption::biff
