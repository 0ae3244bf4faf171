// The machine tag: a computer name encoded as upper-case hexadecimal text, written into every
// locked workbook and compared when it is opened again.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"

namespace kovrisk {

// One filler letter (a-j, k-t or z) drawn from the system tick count.
std::string fncRandChr(Clock& clock);

// The tag of `name`; pauses 45 ms in all while it draws its nine filler letters.
std::string fncPcNameEnc(std::string_view name, Clock& clock);

// The name a tag encodes, upper-cased.  Never fails; never looks beyond its 128-byte decode area,
// so a tag longer than 256 characters only counts with its first 256.
std::string fncPcNameDec(std::string_view tag);

}  // namespace kovrisk
