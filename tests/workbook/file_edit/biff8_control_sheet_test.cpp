#include "workbook/file_edit/biff8_control_sheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/biff_records.h"
#include "formats/compound_file_reader.h"
#include "formats/compound_file_writer.h"
#include "formats/little_endian.h"
#include "formats/sheet_password_hash.h"
#include "formats/xf_checksum.h"

namespace kovrisk::file_edit {
namespace {

using encryption::append16;
using encryption::append32;
using encryption::load16;
using encryption::load32;
using Outcome = ControlSheetEdit::Outcome;

const ControlSheet kSheet{u"Kovrisk", u"warning", u"A79E9E8E", u"KorvenatePlume!"};

std::string record(std::uint16_t type, const std::string& data) {
    std::string out;
    append16(out, type);
    append16(out, static_cast<std::uint16_t>(data.size()));
    return out + data;
}
std::string u16(std::uint16_t value) {
    std::string out;
    append16(out, value);
    return out;
}
std::string u32(std::uint32_t value) {
    std::string out;
    append32(out, value);
    return out;
}

// A small workbook stream as Excel lays it out: the globals, then one substream per sheet.
struct Book {
    std::vector<std::u16string> sheets{u"Sheet1", u"Sheet2"};
    std::vector<bool> hidden{false, false};
    std::vector<std::u16string> strings{u"a", u"bc"};
    // XTIs of the self-reference: first and last sheet.
    std::vector<std::pair<std::uint16_t, std::uint16_t>> references;
    std::string beforeFonts;  // records right after the BOF
    int fonts = 6;
    bool staleChecksum = false;  // as an application that knows no format extensions leaves it

    std::string stream() const {
        std::string globals = record(0x0809, u16(0x0600) + u16(0x0005) + std::string(12, '\0'));
        globals += beforeFonts;
        globals += record(0x013D, [&] {
            std::string ids;
            for (std::size_t i = 0; i < sheets.size(); ++i)
                ids += u16(static_cast<std::uint16_t>(i + 1));
            return ids;
        }());
        globals += record(0x003D, std::string(10, '\0') + u16(1) + u16(0) + u16(1) + u16(600));
        for (int i = 0; i < fonts; ++i)
            globals += record(0x0031, u16(200) + u16(0) + u16(0x7FFF) + std::string(6, '\0') +
                                          std::string("\x05\x00"
                                                      "Arial",
                                                      7));
        std::uint32_t crc = 0;
        for (int i = 0; i < 16; ++i) {
            const std::string xf = u16(0) + u16(0) + u16(i < 15 ? 0xFFF5 : 0x0001) +
                                   std::string(12, '\0') + u16(0x20C0);
            crc = formats::xfChecksum(crc, xf);
            globals += record(0x00E0, xf);
        }
        globals += record(0x087C, u16(0x087C) + std::string(12, '\0') + u16(16) +
                                      u32(crc + (staleChecksum ? 1 : 0)));
        std::vector<std::size_t> sheetRecords;
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            sheetRecords.push_back(globals.size());
            std::string name(1, static_cast<char>(sheets[i].size()));
            name += '\0';
            for (char16_t c : sheets[i])
                name += static_cast<char>(c);
            globals += record(0x0085, u32(0) + (hidden[i] ? '\x01' : '\x00') + '\0' + name);
        }
        globals += record(0x01AE, u16(static_cast<std::uint16_t>(sheets.size())) + u16(0x0401));
        if (!references.empty()) {
            std::string xti = u16(static_cast<std::uint16_t>(references.size()));
            for (const auto& [first, last] : references)
                xti += u16(0) + u16(first) + u16(last);
            globals += record(0x0017, xti);
        }
        std::string table = u32(static_cast<std::uint32_t>(strings.size())) +
                            u32(static_cast<std::uint32_t>(strings.size()));
        for (const std::u16string& s : strings) {
            table += u16(static_cast<std::uint16_t>(s.size())) + '\0';
            for (char16_t c : s)
                table += static_cast<char>(c);
        }
        globals += record(0x00FC, table);
        globals += record(0x00FF, u16(8) + std::string(8, '\0'));
        globals += record(0x000A, {});

        std::string out = globals;
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            const std::size_t at = out.size();
            encryption::store32(out, sheetRecords[i] + 4, static_cast<std::uint32_t>(at));
            out += record(0x0809, u16(0x0600) + u16(0x0010) + std::string(12, '\0'));
            out += record(0x020B,
                          u32(0) + u32(0) + u32(0) + u32(static_cast<std::uint32_t>(at + 20 + 20)));
            out += record(0x0055, u16(8));
            out += record(0x023E, u16(i == 0 ? 0x06B6 : 0x00B6) + std::string(16, '\0'));
            out += record(0x000A, {});
        }
        return out;
    }
};

std::string compoundFile(const std::string& workbook) {
    return encryption::writeCompoundFile(encryption::CompoundEntry::storage(
        u"Root Entry", {encryption::CompoundEntry::stream(u"Workbook", workbook),
                        encryption::CompoundEntry::stream(u"\x05SummaryInformation", "summary")}));
}

struct Stream {
    std::string bytes;
    std::vector<encryption::biff::Record> records;

    explicit Stream(const std::string& file) {
        const encryption::CompoundEntry root = encryption::readCompoundFile(file);
        bytes = root.child(u"Workbook")->data;
        records = encryption::biff::readRecords(bytes);
        EXPECT_EQ(root.child(u"\x05SummaryInformation")->data, "summary");
    }
    std::vector<std::string> all(std::uint16_t type) const {
        std::vector<std::string> found;
        for (const auto& r : records) {
            if (r.type == type)
                found.push_back(bytes.substr(r.dataAt(), r.length));
        }
        return found;
    }
    const encryption::biff::Record& at(std::size_t position) const {
        for (const auto& r : records) {
            if (r.at == position)
                return r;
        }
        ADD_FAILURE() << "no record at " << position;
        return records.front();
    }
    // The records of the substream whose BOF is at `position`, to its EOF.
    std::vector<std::pair<std::uint16_t, std::string>> substream(std::size_t position) const {
        std::vector<std::pair<std::uint16_t, std::string>> found;
        bool in = false;
        for (const auto& r : records) {
            in = in || r.at == position;
            if (in)
                found.emplace_back(r.type, bytes.substr(r.dataAt(), r.length));
            if (in && r.type == 0x000A)
                break;
        }
        return found;
    }
};

ControlSheetEdit edit(const Book& book, const ControlSheet& sheet = kSheet) {
    return addBiff8ControlSheet(compoundFile(book.stream()), sheet);
}

TEST(Biff8ControlSheetTest, AddsAHiddenProtectedLastSheetWithItsTagInWhite) {
    const ControlSheetEdit result = edit(Book{});
    ASSERT_EQ(result.outcome, Outcome::Edited) << result.why;
    const Stream stream(result.file);

    const std::vector<std::string> sheets = stream.all(0x0085);
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[2].substr(4), std::string("\x01\x00\x07\x00Kovrisk", 11));
    // Every sheet's position leads to its BOF; the original sheets' INDEX to their DEFCOLWIDTH.
    for (const std::string& sheet : sheets) {
        const std::uint32_t position = load32(sheet, 0);
        EXPECT_EQ(stream.at(position).type, 0x0809);
        for (const auto& [type, data] : stream.substream(position)) {
            if (type == 0x020B) {
                EXPECT_EQ(stream.at(load32(data, 12)).type, 0x0055);
                for (std::size_t at = 16; at + 4 <= data.size(); at += 4)
                    EXPECT_EQ(stream.at(load32(data, at)).type, 0x00D7);
            }
        }
    }
    std::map<std::uint16_t, std::vector<std::string>> control;
    for (const auto& [type, data] : stream.substream(load32(sheets[2], 0)))
        control[type].push_back(data);
    EXPECT_EQ(control[0x0012], std::vector<std::string>{u16(1)});  // PROTECT
    EXPECT_EQ(control[0x0063], std::vector<std::string>{u16(1)});  // OBJPROTECT
    EXPECT_EQ(control[0x00DD], std::vector<std::string>{u16(1)});  // SCENPROTECT
    EXPECT_EQ(control[0x0013],
              std::vector<std::string>{u16(formats::sheetPasswordHash(u"KorvenatePlume!"))});
    // A1 holds string 2 (the warning), Z2 string 3 (the tag) in the new cell format 16.
    ASSERT_EQ(control[0x00FD].size(), 2u);
    EXPECT_EQ(control[0x00FD][0], u16(0) + u16(0) + u16(15) + u32(2));
    EXPECT_EQ(control[0x00FD][1], u16(1) + u16(25) + u16(16) + u32(3));
    EXPECT_EQ(load16(control[0x023E][0], 0) & 0x0600, 0);

    // Six fonts: the seventh record is font 7 (there is no font 4), in palette colour 2.
    const std::vector<std::string> fonts = stream.all(0x0031);
    ASSERT_EQ(fonts.size(), 7u);
    EXPECT_EQ(load16(fonts[6], 4), 9);
    const std::vector<std::string> formats = stream.all(0x00E0);
    ASSERT_EQ(formats.size(), 17u);
    EXPECT_EQ(load16(formats[16], 0), 7);
    std::uint32_t crc = 0;
    for (const std::string& format : formats)
        crc = formats::xfChecksum(crc, format);
    const std::string checksum = stream.all(0x087C).at(0);
    EXPECT_EQ(load16(checksum, 14), 17);
    EXPECT_EQ(load32(checksum, 16), crc);

    // The sheet counts, the strings and their index.
    EXPECT_EQ(load16(stream.all(0x01AE).at(0), 0), 3);
    EXPECT_EQ(stream.all(0x013D).at(0), u16(1) + u16(2) + u16(3));
    const std::string table = stream.all(0x00FC).at(0);
    EXPECT_EQ(load32(table, 4), 4u);
    EXPECT_NE(table.find(encryption::utf16LittleEndian(u"A79E9E8E")), std::string::npos);
    const std::string index = stream.all(0x00FF).at(0);
    ASSERT_EQ(index.size(), 10u);
    const std::size_t sst = load32(index, 2);
    EXPECT_EQ(stream.at(sst - load16(index, 6)).type, 0x00FC);
    EXPECT_EQ(load16(index, 6), 12);
}

TEST(Biff8ControlSheetTest, AStaleFormatChecksumStaysStale) {
    Book book;
    book.staleChecksum = true;
    const std::string before = Stream(compoundFile(book.stream())).all(0x087C).at(0);
    const ControlSheetEdit result = edit(book);
    ASSERT_EQ(result.outcome, Outcome::Edited) << result.why;
    EXPECT_EQ(Stream(result.file).all(0x087C).at(0), before);
}

TEST(Biff8ControlSheetTest, TheFirstVisibleWorksheetBecomesTheOnlySelectedOne) {
    Book book;
    book.sheets = {u"Hidden", u"Shown", u"Other"};
    book.hidden = {true, false, false};
    const ControlSheetEdit result = edit(book);
    ASSERT_EQ(result.outcome, Outcome::Edited) << result.why;
    const Stream stream(result.file);
    const std::string window = stream.all(0x003D).at(0);
    EXPECT_EQ(load16(window, 10), 1);  // itabCur
    EXPECT_EQ(load16(window, 14), 1);  // one tab selected
    const std::vector<std::string> windows = stream.all(0x023E);
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(load16(windows[0], 0) & 0x0600, 0);
    EXPECT_EQ(load16(windows[1], 0) & 0x0600, 0x0600);
    EXPECT_EQ(load16(windows[2], 0) & 0x0600, 0);
}

TEST(Biff8ControlSheetTest, AnEarlierControlSheetGoesAndTheTableKeepsItsStrings) {
    Book book;
    book.sheets = {u"Sheet1", u"kovRISK", u"Sheet2"};
    book.hidden = {false, true, false};
    book.strings = {u"a", u"warning"};
    const ControlSheetEdit result = edit(book);
    ASSERT_EQ(result.outcome, Outcome::Edited) << result.why;
    const Stream stream(result.file);
    std::vector<std::string> names;
    for (const std::string& sheet : stream.all(0x0085))
        names.push_back(sheet.substr(8));
    EXPECT_EQ(names, (std::vector<std::string>{"Sheet1", "Sheet2", "Kovrisk"}));
    EXPECT_EQ(stream.all(0x0809).size(), 4u);
    EXPECT_EQ(load16(stream.all(0x01AE).at(0), 0), 3);
    EXPECT_EQ(stream.all(0x013D).at(0), u16(1) + u16(3) + u16(4));
    // The warning the table holds is the one A1 shows; only the tag is added.
    EXPECT_EQ(load32(stream.all(0x00FC).at(0), 4), 3u);
    EXPECT_EQ(load32(stream.all(0x00FD).at(0), 6), 1u);
}

TEST(Biff8ControlSheetTest, AnEarlierControlSheetThatFormulasCountPastIsNotTaken) {
    Book book;
    book.sheets = {u"Sheet1", u"Kovrisk", u"Sheet2"};
    book.hidden = {false, true, false};
    book.references = {{0, 0}, {2, 2}};
    EXPECT_EQ(edit(book).outcome, Outcome::NotTaken);
    book.references = {{0, 0}};
    EXPECT_EQ(edit(book).outcome, Outcome::Edited);
}

TEST(Biff8ControlSheetTest, WhatItDoesNotKnowIsNotTakenAndWhatDoesNotHoldTogetherIsDamaged) {
    Book encrypted;
    encrypted.beforeFonts = record(0x002F, std::string(54, '\0'));
    EXPECT_EQ(edit(encrypted).outcome, Outcome::NotTaken);
    Book structure;
    structure.beforeFonts = record(0x0012, u16(1));
    EXPECT_EQ(edit(structure).outcome, Outcome::NotTaken);

    std::string older = Book{}.stream();
    older[4] = 0x00;
    older[5] = 0x05;  // BIFF5
    EXPECT_EQ(addBiff8ControlSheet(compoundFile(older), kSheet).outcome, Outcome::NotTaken);

    const std::string whole = Book{}.stream();
    // Cut in the middle of a record, and a sheet that points past its substream.
    EXPECT_EQ(addBiff8ControlSheet(compoundFile(whole.substr(0, whole.size() - 3)), kSheet).outcome,
              Outcome::Damaged);
    std::string misplaced = whole;
    const std::size_t sheet = misplaced.find(std::string("\x85\x00", 2));
    misplaced[sheet + 4] = static_cast<char>(misplaced[sheet + 4] + 1);
    EXPECT_EQ(addBiff8ControlSheet(compoundFile(misplaced), kSheet).outcome, Outcome::Damaged);
    // A string table that counts more strings than it holds.
    std::string counted = whole;
    const std::size_t table = counted.find(std::string("\xFC\x00", 2));
    counted[table + 8] = 9;
    EXPECT_EQ(addBiff8ControlSheet(compoundFile(counted), kSheet).outcome, Outcome::Damaged);
    EXPECT_EQ(addBiff8ControlSheet("not a compound file", kSheet).outcome, Outcome::NotTaken);
}

}  // namespace
}  // namespace kovrisk::file_edit
