// Reads a compound file (version 3 with 512-byte sectors, or version 4 with 4096-byte sectors)
// into memory.
#pragma once

#include <string_view>

#include "formats/compound_file.h"

namespace kovrisk::encryption {

// The root storage ("Root Entry") with every storage and stream reachable from it.  Throws
// EncryptionRefused: NotAWorkbookFile when the bytes do not start as a compound file,
// DamagedCompoundFile when its tables, chains or directory do not hold together.
CompoundEntry readCompoundFile(std::string_view file);

// Whether the bytes start with the compound file signature.
bool looksLikeCompoundFile(std::string_view file);

}  // namespace kovrisk::encryption
