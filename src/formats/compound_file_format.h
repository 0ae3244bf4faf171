// The fixed numbers of the compound file layout, shared by its reader and its writer.
#pragma once

#include <cstdint>
#include <string_view>

namespace kovrisk::encryption::cfb {

inline constexpr std::string_view kSignature{"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8};
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kHeaderDifatCount = 109;
inline constexpr std::size_t kDirectoryEntrySize = 128;
inline constexpr std::size_t kMiniSectorSize = 64;
inline constexpr std::uint32_t kMiniStreamCutoff = 4096;
inline constexpr std::size_t kMaxNameUnits = 31;

// Special sector numbers.
inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFA;
inline constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
inline constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
// No directory entry.
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFF;

// Directory entry kinds and colours.
inline constexpr std::uint8_t kStorageObject = 1;
inline constexpr std::uint8_t kStreamObject = 2;
inline constexpr std::uint8_t kRootStorageObject = 5;
inline constexpr std::uint8_t kRed = 0;
inline constexpr std::uint8_t kBlack = 1;

// Header field offsets.
inline constexpr std::size_t kMinorVersionAt = 0x18;
inline constexpr std::size_t kMajorVersionAt = 0x1A;
inline constexpr std::size_t kByteOrderAt = 0x1C;
inline constexpr std::size_t kSectorShiftAt = 0x1E;
inline constexpr std::size_t kMiniSectorShiftAt = 0x20;
inline constexpr std::size_t kDirectorySectorCountAt = 0x28;
inline constexpr std::size_t kFatSectorCountAt = 0x2C;
inline constexpr std::size_t kFirstDirectorySectorAt = 0x30;
inline constexpr std::size_t kMiniStreamCutoffAt = 0x38;
inline constexpr std::size_t kFirstMiniFatSectorAt = 0x3C;
inline constexpr std::size_t kMiniFatSectorCountAt = 0x40;
inline constexpr std::size_t kFirstDifatSectorAt = 0x44;
inline constexpr std::size_t kDifatSectorCountAt = 0x48;
inline constexpr std::size_t kDifatAt = 0x4C;

// Directory entry field offsets.
inline constexpr std::size_t kNameLengthAt = 0x40;
inline constexpr std::size_t kObjectTypeAt = 0x42;
inline constexpr std::size_t kColorAt = 0x43;
inline constexpr std::size_t kLeftSiblingAt = 0x44;
inline constexpr std::size_t kRightSiblingAt = 0x48;
inline constexpr std::size_t kChildAt = 0x4C;
inline constexpr std::size_t kClassIdAt = 0x50;
inline constexpr std::size_t kStateBitsAt = 0x60;
inline constexpr std::size_t kCreationTimeAt = 0x64;
inline constexpr std::size_t kModificationTimeAt = 0x6C;
inline constexpr std::size_t kStartSectorAt = 0x74;
inline constexpr std::size_t kStreamSizeAt = 0x78;

}  // namespace kovrisk::encryption::cfb
