#include "workbook/file_edit/control_sheet_part.h"

#include "formats/sheet_password_hash.h"

namespace kovrisk::file_edit {

namespace {

void appendCodePoint(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Cell text as XML character data: markup characters escaped, and characters XML 1.0 cannot hold
// (control characters) dropped.
std::string cellText(std::u16string_view text) {
    std::string out;
    for (char c : utf8(text)) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
                    out += c;
        }
    }
    return out;
}

// A cell's text element, as Excel writes it: xml:space only where the text starts or ends with
// white space that a reader would otherwise drop (the schemas declare no such attribute there).
std::string textElement(std::u16string_view text) {
    const auto isSpace = [](char16_t c) {
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r';
    };
    const bool keepSpace = !text.empty() && (isSpace(text.front()) || isSpace(text.back()));
    return (keepSpace ? "<t xml:space=\"preserve\">" : "<t>") + cellText(text) + "</t>";
}

}  // namespace

std::string utf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendCodePoint(out, c);
    }
    return out;
}

std::string controlSheetPart(const ControlSheet& sheet, std::size_t tagStyle) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<dimension ref=\"A1:Z2\"/>"
           "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
           "<sheetData>"
           "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is>" +
           textElement(sheet.warning) +
           "</is></c></row>"
           "<row r=\"2\"><c r=\"Z2\" s=\"" +
           std::to_string(tagStyle) + "\" t=\"inlineStr\"><is>" + textElement(sheet.machineTag) +
           "</is></c></row>"
           "</sheetData>"
           // Protect(Password, DrawingObjects:=True, Contents:=True, Scenarios:=True).
           "<sheetProtection password=\"" +
           formats::sheetPasswordHashText(sheet.protectionPassword) +
           "\" sheet=\"1\" objects=\"1\" scenarios=\"1\"/>"
           "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
           "footer=\"0.3\"/>"
           "</worksheet>";
}

}  // namespace kovrisk::file_edit
