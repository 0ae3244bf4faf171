#include "workbook/file_edit/file_control_sheet_writer.h"

#include "formats/compound_file_reader.h"
#include "workbook/file_edit/biff8_control_sheet.h"
#include "workbook/file_edit/ooxml_control_sheet.h"

namespace kovrisk {

namespace {

constexpr std::string_view kZipSignature{"PK\x03\x04", 4};

class FileControlSheetWriter : public ControlSheetWriter {
public:
    ControlSheetEdit addControlSheet(std::string_view workbookFile,
                                     const ControlSheet& sheet) override {
        // The file's own bytes tell its format, whatever its name says.
        if (workbookFile.starts_with(kZipSignature))
            return file_edit::addOoxmlControlSheet(workbookFile, sheet);
        if (encryption::looksLikeCompoundFile(workbookFile))
            return file_edit::addBiff8ControlSheet(workbookFile, sheet);
        return {ControlSheetEdit::Outcome::NotTaken, {}, "neither a package nor a compound file"};
    }
};

}  // namespace

ControlSheetWriter& fileControlSheetWriter() {
    // Holds nothing between calls.
    static FileControlSheetWriter writer;
    return writer;
}

}  // namespace kovrisk
