// The "\x06DataSpaces" storage of an encrypted package: it tells readers that the
// "EncryptedPackage" stream passes through the strong encryption transform.
#pragma once

#include "formats/compound_file.h"

namespace kovrisk::encryption {

CompoundEntry strongEncryptionDataSpaces();

}  // namespace kovrisk::encryption
