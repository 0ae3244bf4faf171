#include "fakes/standin_workbook_file.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fakes/standin_container.h"
#include "support/shift_jis.h"

namespace kovrisk::testing {

namespace {

constexpr std::string_view kHeader = "KOVRISK-STANDIN-WORKBOOK 1";
constexpr char kHex[] = "0123456789ABCDEF";

std::string escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == '%' || byte == 0x7F) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte <= 0x20 || byte == 0x7F)
            return std::nullopt;
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int value = 0;
        const char* digits = text.data() + i + 1;
        if (i + 2 >= text.size())
            return std::nullopt;
        const auto [end, error] = std::from_chars(digits, digits + 2, value, 16);
        if (error != std::errc() || end != digits + 2)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

[[noreturn]] void notAWorkbook(const NativePath& path) {
    throw AutomationError("'" + path.string() + "' is not a workbook file.");
}

// Splits "<first> <rest>" at its first blank; rest is empty without one.
std::pair<std::string_view, std::string_view> splitWord(std::string_view line) {
    const auto blank = line.find(' ');
    if (blank == std::string_view::npos)
        return {line, {}};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

bool parseSheetLine(std::string_view keyword, std::string_view rest, StandinSheet& sheet) {
    if (keyword == "hidden" || keyword == "active") {
        if (!rest.empty())
            return false;
        if (keyword == "hidden")
            sheet.visible = false;
        if (keyword == "active")
            sheet.active = true;
        return true;
    }
    const auto [first, second] = splitWord(rest);
    if (keyword == "protect") {
        const auto password = unescape(second);
        if (first.size() != 3 || first.find_first_not_of("01") != std::string_view::npos ||
            !password)
            return false;
        sheet.protection =
            StandinProtection{*password, first[0] == '1', first[1] == '1', first[2] == '1'};
        return true;
    }
    const auto address = canonicalCellAddress(first);
    if (!address)
        return false;
    if (keyword == "cell") {
        const auto text = unescape(second);
        if (!text)
            return false;
        sheet.cells[*address] = *text;
        return true;
    }
    if (keyword == "color") {
        int index = 0;
        const auto [end, error] =
            std::from_chars(second.data(), second.data() + second.size(), index);
        if (error != std::errc() || end != second.data() + second.size())
            return false;
        sheet.colorIndexes[*address] = index;
        return true;
    }
    return false;
}

}  // namespace

const StandinSheet* StandinWorkbook::sheet(std::string_view name) const {
    const auto wanted = asciiUpper(name);
    for (const auto& candidate : sheets) {
        if (asciiUpper(candidate.name) == wanted)
            return &candidate;
    }
    return nullptr;
}

std::optional<std::string> canonicalCellAddress(std::string_view address) {
    std::size_t letters = 0;
    long column = 0;
    for (; letters < address.size(); ++letters) {
        const char upper = asciiUpper(address[letters]);
        if (upper < 'A' || upper > 'Z')
            break;
        column = column * 26 + (upper - 'A' + 1);
    }
    const auto digits = address.substr(letters);
    long row = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
    if (letters == 0 || letters > 3 || column > 16384 || digits.empty() || digits[0] < '1' ||
        digits[0] > '9' || error != std::errc() || end != digits.data() + digits.size() ||
        row > 1048576)
        return std::nullopt;
    return asciiUpper(address);
}

std::string standinWorkbookText(const StandinWorkbook& book) {
    std::string text(kHeader);
    text += "\npassword " + escape(book.openPassword) + "\n";
    if (book.autoRunMacro)
        text += "macro auto-run\n";
    if (book.format != kDefaultFormat)
        text += "format " + escape(book.format) + "\n";
    if (book.damaged)
        text += "damaged\n";
    if (book.structureProtected)
        text += "protect-structure\n";
    if (book.inUse)
        text += "in-use\n";
    if (book.externalLinks)
        text += "links\n";
    if (book.readOnlyRecommended)
        text += "read-only-recommended\n";
    if (!book.writePassword.empty())
        text += "write-password " + escape(book.writePassword) + "\n";
    for (const auto& sheet : book.sheets) {
        text += "sheet " + escape(sheet.name) + "\n";
        if (!sheet.visible)
            text += "hidden\n";
        if (sheet.active)
            text += "active\n";
        if (const auto& p = sheet.protection) {
            text += std::string("protect ") + (p->drawingObjects ? '1' : '0') +
                    (p->contents ? '1' : '0') + (p->scenarios ? '1' : '0') + " " +
                    escape(p->password) + "\n";
        }
        for (const auto& [address, value] : sheet.cells) {
            if (!canonicalCellAddress(address))
                throw AutomationError("Not a cell: " + address);
            text += "cell " + *canonicalCellAddress(address) + " " + escape(value) + "\n";
        }
        for (const auto& [address, index] : sheet.colorIndexes) {
            if (!canonicalCellAddress(address))
                throw AutomationError("Not a cell: " + address);
            text += "color " + *canonicalCellAddress(address) + " " + std::to_string(index) + "\n";
        }
    }
    return text;
}

std::string standinWorkbookFile(const StandinWorkbook& book) {
    return packStandinText(book.format, standinWorkbookText(book));
}

void writeStandinWorkbook(const NativePath& path, const StandinWorkbook& book) {
    const std::string text = standinWorkbookFile(book);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out)
        throw AutomationError("Cannot write '" + path.string() + "'.");
}

StandinWorkbook loadStandinWorkbook(const NativePath& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        notAWorkbook(path);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in)
        notAWorkbook(path);
    return parseStandinWorkbook(content.str(), path);
}

StandinWorkbook parseStandinWorkbook(std::string_view file, const NativePath& path) {
    const std::optional<std::string> text = unpackStandinText(file);
    if (!text)
        notAWorkbook(path);
    std::istringstream lines{*text};
    std::string line;
    if (!std::getline(lines, line) || line != kHeader)
        notAWorkbook(path);
    StandinWorkbook book;
    bool sawPassword = false;
    while (std::getline(lines, line)) {
        const auto [keyword, rest] = splitWord(line);
        if (keyword == "password" && !sawPassword && book.sheets.empty()) {
            const auto password = unescape(rest);
            if (!password)
                notAWorkbook(path);
            book.openPassword = *password;
            sawPassword = true;
        } else if (line == "macro auto-run" && book.sheets.empty()) {
            book.autoRunMacro = true;
        } else if (keyword == "format" && book.sheets.empty()) {
            const auto format = unescape(rest);
            if (!format || format->empty())
                notAWorkbook(path);
            book.format = *format;
        } else if (line == "damaged" && book.sheets.empty()) {
            book.damaged = true;
        } else if (line == "protect-structure" && book.sheets.empty()) {
            book.structureProtected = true;
        } else if (line == "in-use" && book.sheets.empty()) {
            book.inUse = true;
        } else if (line == "links" && book.sheets.empty()) {
            book.externalLinks = true;
        } else if (line == "read-only-recommended" && book.sheets.empty()) {
            book.readOnlyRecommended = true;
        } else if (keyword == "write-password" && book.sheets.empty()) {
            const auto password = unescape(rest);
            if (!password || password->empty())
                notAWorkbook(path);
            book.writePassword = *password;
        } else if (keyword == "sheet") {
            const auto name = unescape(rest);
            if (!name)
                notAWorkbook(path);
            book.sheets.push_back(StandinSheet{.name = *name});
        } else if (book.sheets.empty() || !parseSheetLine(keyword, rest, book.sheets.back())) {
            notAWorkbook(path);
        }
    }
    if (!sawPassword)
        notAWorkbook(path);
    return book;
}

StandinWorkbook readStandinWorkbook(const NativePath& path, const std::string& password) {
    auto book = loadStandinWorkbook(path);
    if (book.openPassword != password) {
        throw AutomationError("Wrong password for '" + path.string() + "'.");
    }
    return book;
}

}  // namespace kovrisk::testing
