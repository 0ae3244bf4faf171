// Writes a compound file, version 3 with 512-byte sectors, as Excel writes its binary workbooks and
// encrypted packages: streams under 4096 bytes in the mini stream, the directory's sibling trees
// balanced red-black trees in name order.
#pragma once

#include <string>

#include "formats/compound_file.h"

namespace kovrisk::encryption {

// The file holding `root` (a storage, written as the root entry, whatever its name) and everything
// under it.  Throws std::invalid_argument for a name longer than 31 units, two entries of one
// storage whose names compare equal, or a stream too large for the format.
std::string writeCompoundFile(const CompoundEntry& root);

}  // namespace kovrisk::encryption
