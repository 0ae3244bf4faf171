#include "workbook/replacement_refusal.h"

#include "platform/text_codec.h"
#include "support/texts.h"

namespace kovrisk {

std::string describeRefusal(ReplacementRefusal refusal, const NativePath& path) {
    std::string_view cause;
    NativePath named = path;
    switch (refusal) {
        case ReplacementRefusal::None:
            return {};
        case ReplacementRefusal::NotARegularFile:
            cause = texts::kNotARegularFile;
            break;
        case ReplacementRefusal::OwnerCannotBeKept:
            cause = texts::kOwnerCannotBeKept;
            break;
        case ReplacementRefusal::GroupCannotBeKept:
            cause = texts::kGroupCannotBeKept;
            break;
        case ReplacementRefusal::NoPrivateFolder:
            cause = texts::kNoPrivateFolder;
            named = path.parent_path();
            break;
    }
    return std::string(cause) + toShiftJis(named);
}

std::string describeFailedCommit(const FileReplacement& replacement) {
    if (replacement.originalPutBack())
        return std::string(texts::kOriginalPutBack) + toShiftJis(replacement.target());
    if (const NativePath stranded = replacement.strandedOriginal(); !stranded.empty())
        return std::string(texts::kOriginalStranded) + toShiftJis(stranded);
    return {};
}

}  // namespace kovrisk
