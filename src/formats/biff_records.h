// The records of a BIFF8 workbook stream: a 16-bit type, a 16-bit length and that many bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace kovrisk::encryption::biff {

// Record types the encryption handles.
inline constexpr std::uint16_t kBof = 0x0809;
inline constexpr std::uint16_t kEof = 0x000A;
inline constexpr std::uint16_t kFilePass = 0x002F;
inline constexpr std::uint16_t kWriteProtect = 0x0086;
inline constexpr std::uint16_t kUsrExcl = 0x0194;
inline constexpr std::uint16_t kFileLock = 0x0195;
inline constexpr std::uint16_t kInterfaceHdr = 0x00E1;
inline constexpr std::uint16_t kRrdInfo = 0x0196;
inline constexpr std::uint16_t kRrdHead = 0x0138;
inline constexpr std::uint16_t kBoundSheet8 = 0x0085;
inline constexpr std::uint16_t kIndex = 0x020B;
inline constexpr std::uint16_t kExtSst = 0x00FF;
inline constexpr std::uint16_t kSst = 0x00FC;
inline constexpr std::uint16_t kContinue = 0x003C;

// BOF fields.
inline constexpr std::uint16_t kBiff8Version = 0x0600;
inline constexpr std::uint16_t kGlobalsSubstream = 0x0005;
inline constexpr std::uint16_t kWorksheetSubstream = 0x0010;

// The most data one record holds; more goes on in CONTINUE records.
inline constexpr std::size_t kMaxRecordData = 8224;

inline constexpr std::size_t kHeaderSize = 4;

struct Record {
    std::size_t at = 0;  // where its header starts
    std::uint16_t type = 0;
    std::uint16_t length = 0;

    std::size_t dataAt() const { return at + kHeaderSize; }
    std::size_t end() const { return dataAt() + length; }
};

// Every record of `stream`, in order.  Fewer than 4 bytes left after the last record are no
// record and are left out.  Throws EncryptionRefused (DamagedWorkbookStream) when a record runs
// past the end of the stream.
std::vector<Record> readRecords(std::string_view stream);

}  // namespace kovrisk::encryption::biff
