// The Shift-JIS text handling on any bytes (file names, tags read from workbooks, log lines):
// conversion to UTF-16 as Windows converts code page 932, path and extension splitting, case
// folding, trimming, the file password, the machine tag's decoding and the log line's frame.
// What each gives back is checked where its contract says something simple.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/text_codec.h"
#include "support/activity_log.h"
#include "support/file_password.h"
#include "support/machine_tag.h"
#include "support/shift_jis.h"

using namespace kovrisk;

namespace {

void require(bool holds) {
    if (!holds)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    require(shiftJisToUtf16(text).size() <= text.size());
    for (const PathStyle style : {PathStyle::Windows, PathStyle::Posix}) {
        const std::string_view name = fileNamePart(text, style);
        require(text.ends_with(name));
        require(name.ends_with(extensionOf(name)));
    }
    require(asciiUpper(text).size() == text.size() && asciiLower(text).size() == text.size());
    require(trimControl(text).size() <= text.size());
    PasswordBuffer password;
    fncPwdMake(text, password);
    fncPcNameDec(text);
    fromShiftJis(text);
    // One line whatever the message holds: no control byte before its own CR LF.
    const std::string line = ActivityLog::frame(text, LocalTime{2026, 12, 8, 10, 42, 51, 7});
    require(line.ends_with("\r\n") && line.size() <= 512 + 2);
    for (std::size_t n = 0; n + 2 < line.size(); ++n)
        require(static_cast<unsigned char>(line[n]) >= 0x20);
    return 0;
}
