#include "fakes/standin_container.h"

#include <array>
#include <cstdint>

#include "formats/biff_records.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "workbook/encryption/encryption_refusal.h"

namespace kovrisk::testing {

namespace {

using namespace encryption;

constexpr std::string_view kLocalHeader{"PK\x03\x04", 4};
constexpr std::string_view kCentralHeader{"PK\x01\x02", 4};
constexpr std::string_view kEndOfDirectory{"PK\x05\x06", 4};
constexpr std::string_view kEntryName = "kovrisk-standin.txt";
constexpr std::size_t kLocalHeaderSize = 30;
// 1980-01-01, the earliest date a zip entry can carry.
constexpr std::uint16_t kDosDate = 0x0021;
constexpr std::uint16_t kZipVersion = 20;

// The stand-in's own record, after the globals' BOF: up to a record's most of the text.
constexpr std::uint16_t kTextRecord = 0x7FF0;
constexpr std::size_t kMaxRecordData = 8224;

std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// One stored (uncompressed) entry, its central directory and the directory's end.
std::string zipOf(std::string_view text) {
    const auto size = static_cast<std::uint32_t>(text.size());
    const std::uint32_t crc = crc32(text);
    const auto nameSize = static_cast<std::uint16_t>(kEntryName.size());
    std::string zip(kLocalHeader);
    for (const std::uint16_t field :
         {kZipVersion, std::uint16_t{0}, std::uint16_t{0}, std::uint16_t{0}, kDosDate})
        append16(zip, field);
    for (const std::uint32_t field : {crc, size, size})
        append32(zip, field);
    append16(zip, nameSize);
    append16(zip, 0);
    zip += kEntryName;
    zip += text;

    const auto directoryAt = static_cast<std::uint32_t>(zip.size());
    zip += kCentralHeader;
    for (const std::uint16_t field :
         {kZipVersion, kZipVersion, std::uint16_t{0}, std::uint16_t{0}, std::uint16_t{0}, kDosDate})
        append16(zip, field);
    for (const std::uint32_t field : {crc, size, size})
        append32(zip, field);
    for (const std::uint16_t field :
         {nameSize, std::uint16_t{0}, std::uint16_t{0}, std::uint16_t{0}, std::uint16_t{0}})
        append16(zip, field);
    append32(zip, 0);
    append32(zip, 0);  // the entry's local header is at the start
    zip += kEntryName;
    const auto directorySize = static_cast<std::uint32_t>(zip.size() - directoryAt);

    zip += kEndOfDirectory;
    for (const std::uint16_t field :
         {std::uint16_t{0}, std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{1}})
        append16(zip, field);
    append32(zip, directorySize);
    append32(zip, directoryAt);
    append16(zip, 0);
    return zip;
}

std::optional<std::string> textOfZip(std::string_view zip) {
    if (zip.size() < kLocalHeaderSize || load16(zip, 8) != 0)  // stored only
        return std::nullopt;
    const std::uint32_t crc = load32(zip, 14);
    const std::size_t size = load32(zip, 18);
    const std::size_t dataAt = kLocalHeaderSize + load16(zip, 26) + load16(zip, 28);
    if (load32(zip, 22) != size || dataAt + size > zip.size())
        return std::nullopt;
    const std::string_view text = zip.substr(dataAt, size);
    if (crc32(text) != crc)
        return std::nullopt;
    return std::string(text);
}

void appendRecord(std::string& stream, std::uint16_t type, std::string_view data) {
    append16(stream, type);
    append16(stream, static_cast<std::uint16_t>(data.size()));
    stream += data;
}

std::string compoundFileOf(std::string_view text) {
    std::string bof;
    for (const std::uint16_t field : {biff::kBiff8Version, biff::kGlobalsSubstream,
                                      std::uint16_t{0x0DBB}, std::uint16_t{0x07CC}})
        append16(bof, field);
    append32(bof, 0);
    append32(bof, 6);
    std::string stream;
    appendRecord(stream, biff::kBof, bof);
    for (std::size_t at = 0; at < text.size(); at += kMaxRecordData)
        appendRecord(stream, kTextRecord, text.substr(at, kMaxRecordData));
    appendRecord(stream, biff::kEof, "");
    return writeCompoundFile(CompoundEntry::storage(
        std::u16string(kRootEntryName), {CompoundEntry::stream(u"Workbook", std::move(stream))}));
}

std::optional<std::string> textOfCompoundFile(std::string_view file) {
    try {
        const CompoundEntry root = readCompoundFile(file);
        const CompoundEntry* workbook = root.child(u"Workbook");
        if (workbook == nullptr)
            return std::nullopt;
        std::string text;
        for (const biff::Record& record : biff::readRecords(workbook->data)) {
            if (record.type == kTextRecord)
                text.append(workbook->data, record.dataAt(), record.length);
        }
        return text;
    } catch (const EncryptionRefused&) {
        return std::nullopt;
    }
}

}  // namespace

std::string packStandinText(std::string_view format, std::string_view text) {
    if (format == "xlsx" || format == "xlsm")
        return zipOf(text);
    if (format == "xls")
        return compoundFileOf(text);
    return std::string(text);
}

std::optional<std::string> unpackStandinText(std::string_view file) {
    if (file.starts_with(kLocalHeader))
        return textOfZip(file);
    if (looksLikeCompoundFile(file))
        return textOfCompoundFile(file);
    return std::string(file);
}

}  // namespace kovrisk::testing
