#include "workbook/file_edit/ooxml_control_sheet.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "workbook/file_edit/control_sheet_part.h"
#include "workbook/file_edit/file_control_sheet_writer.h"

namespace kovrisk::file_edit {
namespace {

// UTF-8 text (narrow literals of the tests are compiled to Shift-JIS).
std::string utf8(std::u8string_view text) {
    return std::string(text.begin(), text.end());
}

struct Entry {
    std::string name;
    std::string data;
    bool stored = false;  // kept uncompressed
};

// A zip package of `entries`, in order, written by libzip.
std::string package(const std::vector<Entry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(buffer);
    zip_t* archive = zip_open_from_source(buffer, ZIP_TRUNCATE, &error);
    for (const Entry& entry : entries) {
        zip_source_t* data = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), data, 0);
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index),
                                 entry.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 9);
    }
    zip_close(archive);
    zip_source_open(buffer);
    std::string result;
    char chunk[4096];
    for (zip_int64_t got; (got = zip_source_read(buffer, chunk, sizeof chunk)) > 0;)
        result.append(chunk, static_cast<std::size_t>(got));
    zip_source_close(buffer);
    zip_source_free(buffer);
    return result;
}

// Each entry of a package: its name, its stored (compressed) bytes and its unpacked text.
struct Stored {
    std::string raw;
    std::string text;
    zip_uint16_t method = 0;
};
std::vector<std::pair<std::string, Stored>> entriesOf(const std::string& file) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(file.data(), file.size(), 0, &error);
    zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    EXPECT_NE(archive, nullptr);
    std::vector<std::pair<std::string, Stored>> result;
    for (zip_int64_t i = 0; archive && i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        Stored stored;
        stored.method = stat.comp_method;
        for (zip_flags_t flags : {ZIP_FL_COMPRESSED, zip_flags_t{0}}) {
            std::string& into = flags ? stored.raw : stored.text;
            into.resize(flags ? stat.comp_size : stat.size);
            zip_file_t* entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), flags);
            EXPECT_EQ(zip_fread(entry, into.data(), into.size()),
                      static_cast<zip_int64_t>(into.size()));
            zip_fclose(entry);
        }
        result.emplace_back(stat.name, std::move(stored));
    }
    if (archive)
        zip_close(archive);
    return result;
}

std::map<std::string, Stored> byName(const std::string& file) {
    std::map<std::string, Stored> result;
    for (auto& [name, stored] : entriesOf(file))
        result[name] = stored;
    return result;
}

constexpr char kMain[] = R"(xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")";
constexpr char kR[] =
    R"(xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships")";
const std::string kRelsOpen =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    "\r\n"
    R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
const std::string kType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";

std::string sheetPart(bool selected) {
    return std::string("<worksheet ") + kMain + "><sheetViews><sheetView " +
           (selected ? "tabSelected=\"1\" " : "") +
           R"(workbookViewId="0"/></sheetViews><sheetData/></worksheet>)";
}

// As Excel writes a workbook with a hidden first sheet, an earlier control sheet "kovrisk"
// (with a drawing of its own and printer settings it shares), and its last sheet active.
std::vector<Entry> excelWorkbook() {
    std::string theme(20000, 't');
    return {
        {"[Content_Types].xml",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
         R"(<Default Extension="bin" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.printerSettings"/>)"
         R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
         R"(<Default Extension="xml" ContentType="application/xml"/>)"
         R"(<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)"
         R"(<Override PartName="/xl/worksheets/sheet3.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"
         R"(<Override PartName="/xl/drawings/drawing1.xml" ContentType="application/vnd.openxmlformats-officedocument.drawing+xml"/>)"
         R"(</Types>)"},
        {"_rels/.rels",
         kRelsOpen + R"(<Relationship Id="rId1" Type=")" + kType +
             R"(officeDocument" Target="xl/workbook.xml"/><Relationship Id="rId2" Type=")" + kType +
             R"(extended-properties" Target="docProps/app.xml"/></Relationships>)"},
        {"docProps/app.xml",
         R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
         R"(<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/extended-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes">)" +
             utf8(
                 u8R"(<HeadingPairs><vt:vector size="4" baseType="variant"><vt:variant><vt:lpstr>ワークシート</vt:lpstr></vt:variant><vt:variant><vt:i4>4</vt:i4></vt:variant>)"
                 u8R"(<vt:variant><vt:lpstr>名前付き一覧</vt:lpstr></vt:variant>)") +
             R"(<vt:variant><vt:i4>1</vt:i4></vt:variant></vt:vector></HeadingPairs>)"
             R"(<TitlesOfParts><vt:vector size="5" baseType="lpstr"><vt:lpstr>Cover</vt:lpstr><vt:lpstr>Data</vt:lpstr><vt:lpstr>kovrisk</vt:lpstr><vt:lpstr>Last</vt:lpstr><vt:lpstr>Data!Print_Area</vt:lpstr></vt:vector></TitlesOfParts></Properties>)"},
        {"xl/workbook.xml",
         std::string(R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)") + "\r\n" +
             "<workbook " + kMain + " " + kR +
             R"(><bookViews><workbookView xWindow="0" yWindow="0" firstSheet="2" activeTab="3"/></bookViews>)"
             R"(<sheets><sheet name="Cover" sheetId="4" state="hidden" r:id="rId1"/><sheet name="Data" sheetId="1" r:id="rId2"/>)"
             R"(<sheet name="kovrisk" sheetId="7" state="hidden" r:id="rId3"/><sheet name="Last" sheetId="2" r:id="rId4"/></sheets>)"
             R"(<definedNames><definedName name="_xlnm.Print_Area" localSheetId="1">Data!$A$1:$B$2</definedName>)"
             R"(<definedName name="old" localSheetId="2">kovrisk!$A$1</definedName>)"
             R"(<definedName name="_xlnm.Print_Titles" localSheetId="3">Last!$1:$1</definedName></definedNames>)"
             R"(<calcPr calcId="191029"/></workbook>)"},
        {"xl/_rels/workbook.xml.rels",
         kRelsOpen + R"(<Relationship Id="rId1" Type=")" + kType +
             R"(worksheet" Target="worksheets/sheet1.xml"/><Relationship Id="rId2" Type=")" +
             kType +
             R"(worksheet" Target="worksheets/sheet2.xml"/><Relationship Id="rId3" Type=")" +
             kType +
             R"(worksheet" Target="worksheets/sheet3.xml"/><Relationship Id="rId4" Type=")" +
             kType +
             R"(worksheet" Target="/xl/worksheets/sheet4.xml"/><Relationship Id="rId5" Type=")" +
             kType + R"(styles" Target="styles.xml"/><Relationship Id="rId6" Type=")" + kType +
             R"(theme" Target="theme/theme1.xml"/></Relationships>)"},
        {"xl/worksheets/sheet1.xml", sheetPart(false)},
        {"xl/worksheets/sheet2.xml", sheetPart(false)},
        {"xl/worksheets/_rels/sheet2.xml.rels",
         kRelsOpen + R"(<Relationship Id="rId1" Type=")" + kType +
             R"(printerSettings" Target="../printerSettings/printerSettings1.bin"/></Relationships>)"},
        {"xl/worksheets/sheet3.xml", sheetPart(false)},
        {"xl/worksheets/_rels/sheet3.xml.rels",
         kRelsOpen + R"(<Relationship Id="rId1" Type=")" + kType +
             R"(printerSettings" Target="../printerSettings/printerSettings1.bin"/><Relationship Id="rId2" Type=")" +
             kType + R"(drawing" Target="../drawings/drawing1.xml"/></Relationships>)"},
        {"xl/drawings/drawing1.xml", "<xdr:wsDr xmlns:xdr=\"urn:x\"/>"},
        {"xl/worksheets/sheet4.xml", sheetPart(true)},
        {"xl/printerSettings/printerSettings1.bin", std::string("\x00\x01\x02printer", 10), true},
        {"xl/theme/theme1.xml", "<a:theme xmlns:a=\"urn:a\">" + theme + "</a:theme>"},
        {"xl/styles.xml",
         std::string("<styleSheet ") + kMain +
             R"(><fonts count="1"><font><sz val="11"/><color theme="1"/><name val="Calibri"/></font></fonts>)"
             R"(<cellStyleXfs count="1"><xf numFmtId="0" fontId="0"/></cellStyleXfs>)"
             R"(<cellXfs count="1"><xf numFmtId="0" fontId="0" xfId="0"/></cellXfs></styleSheet>)"},
    };
}

ControlSheet controlSheet() {
    return {u"Kovrisk", u"本シートは変更しないで下さい。", u"A79E9E8E", u"abc"};
}

TEST(OoxmlControlSheetTest, OnlyTheNamedPartsChangeAndEveryOtherEntryIsCopiedAsItWas) {
    const std::string original = package(excelWorkbook());
    const ControlSheetEdit edit = addOoxmlControlSheet(original, controlSheet());
    ASSERT_EQ(edit.outcome, ControlSheetEdit::Outcome::Edited) << edit.why;

    const auto before = entriesOf(original);
    const auto after = entriesOf(edit.file);
    // In order: the earlier control sheet's part, its relationships and its own drawing gone;
    // the new part last.
    std::vector<std::string> expectedNames;
    for (const auto& [name, stored] : before) {
        if (name != "xl/worksheets/sheet3.xml" && name != "xl/worksheets/_rels/sheet3.xml.rels" &&
            name != "xl/drawings/drawing1.xml") {
            expectedNames.push_back(name);
        }
    }
    expectedNames.push_back("xl/worksheets/sheet5.xml");
    std::vector<std::string> names;
    for (const auto& [name, stored] : after)
        names.push_back(name);
    EXPECT_EQ(names, expectedNames);

    const std::map<std::string, Stored> old = byName(original);
    const std::map<std::string, Stored> now = byName(edit.file);
    for (const char* untouched :
         {"_rels/.rels", "xl/worksheets/sheet1.xml", "xl/worksheets/_rels/sheet2.xml.rels",
          "xl/printerSettings/printerSettings1.bin", "xl/theme/theme1.xml"}) {
        EXPECT_EQ(now.at(untouched).raw, old.at(untouched).raw) << untouched;
        EXPECT_EQ(now.at(untouched).method, old.at(untouched).method) << untouched;
    }

    const std::string& workbook = now.at("xl/workbook.xml").text;
    EXPECT_NE(
        workbook.find(R"(<sheet name="Last" sheetId="2" r:id="rId4"/>)"
                      R"(<sheet name="Kovrisk" sheetId="8" state="hidden" r:id="rId7"/></sheets>)"),
        std::string::npos)
        << workbook;
    EXPECT_EQ(workbook.find("kovrisk"), std::string::npos) << workbook;
    // Data, the first visible worksheet, is active; the name on Last follows it to position 2.
    EXPECT_NE(workbook.find(R"(<workbookView xWindow="0" yWindow="0" activeTab="1"/>)"),
              std::string::npos)
        << workbook;
    EXPECT_NE(workbook.find(R"(localSheetId="2">Last!$1:$1)"), std::string::npos) << workbook;
    EXPECT_NE(workbook.find(R"(localSheetId="1">Data!$A$1:$B$2)"), std::string::npos);
    EXPECT_NE(now.at("xl/worksheets/sheet2.xml").text.find("tabSelected=\"1\""), std::string::npos);
    EXPECT_EQ(now.at("xl/worksheets/sheet4.xml").text.find("tabSelected"), std::string::npos);

    const std::string& rels = now.at("xl/_rels/workbook.xml.rels").text;
    EXPECT_NE(rels.find(R"(<Relationship Id="rId7" Type=")" + kType +
                        R"(worksheet" Target="worksheets/sheet5.xml"/>)"),
              std::string::npos)
        << rels;
    EXPECT_EQ(rels.find("sheet3.xml"), std::string::npos);

    const std::string& types = now.at("[Content_Types].xml").text;
    EXPECT_NE(
        types.find(
            R"(<Override PartName="/xl/worksheets/sheet5.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)"),
        std::string::npos);
    EXPECT_EQ(types.find("sheet3.xml"), std::string::npos);
    EXPECT_EQ(types.find("drawing1.xml"), std::string::npos);

    const std::string& app = now.at("docProps/app.xml").text;
    EXPECT_NE(app.find("<vt:i4>4</vt:i4>"), std::string::npos) << app;
    EXPECT_NE(
        app.find(R"(<vt:vector size="5" baseType="lpstr"><vt:lpstr>Cover</vt:lpstr>)"
                 R"(<vt:lpstr>Data</vt:lpstr><vt:lpstr>Last</vt:lpstr><vt:lpstr>Kovrisk</vt:lpstr>)"
                 R"(<vt:lpstr>Data!Print_Area</vt:lpstr></vt:vector>)"),
        std::string::npos)
        << app;

    const std::string& styles = now.at("xl/styles.xml").text;
    EXPECT_NE(
        styles.find(
            R"(<fonts count="2"><font><sz val="11"/><color theme="1"/><name val="Calibri"/></font>)"
            R"(<font><sz val="11"/><name val="Calibri"/><color rgb="FFFFFFFF"/></font></fonts>)"),
        std::string::npos)
        << styles;
    EXPECT_NE(
        styles.find(
            R"(<cellXfs count="2"><xf numFmtId="0" fontId="0" xfId="0"/>)"
            R"(<xf numFmtId="0" fontId="1" fillId="0" borderId="0" xfId="0" applyFont="1"/></cellXfs>)"),
        std::string::npos)
        << styles;

    const std::string& sheet = now.at("xl/worksheets/sheet5.xml").text;
    EXPECT_NE(
        sheet.find(utf8(u8R"(<c r="A1" t="inlineStr"><is><t>本シートは変更しないで下さい。</t>)")),
        std::string::npos);
    EXPECT_NE(sheet.find(R"(<c r="Z2" s="1" t="inlineStr"><is><t>A79E9E8E</t>)"),
              std::string::npos);
    // The verifier of "abc" as Excel and openpyxl compute it.
    EXPECT_NE(
        sheet.find(R"(<sheetProtection password="CC1A" sheet="1" objects="1" scenarios="1"/>)"),
        std::string::npos)
        << sheet;
}

TEST(OoxmlControlSheetTest, LockingALockedWorkbookAgainLeavesOneControlSheet) {
    const std::string once = addOoxmlControlSheet(package(excelWorkbook()), controlSheet()).file;
    const ControlSheetEdit twice = addOoxmlControlSheet(once, controlSheet());
    ASSERT_EQ(twice.outcome, ControlSheetEdit::Outcome::Edited) << twice.why;
    const std::map<std::string, Stored> entries = byName(twice.file);
    EXPECT_EQ(entries.size(), byName(once).size());
    const std::string& workbook = entries.at("xl/workbook.xml").text;
    EXPECT_EQ(workbook.find("Kovrisk"), workbook.rfind("Kovrisk"));
    EXPECT_NE(workbook.find(R"(name="Kovrisk" sheetId="9")"), std::string::npos) << workbook;
    EXPECT_NE(
        entries.at("docProps/app.xml")
            .text.find("<vt:lpstr>Last</vt:lpstr><vt:lpstr>Kovrisk</vt:lpstr><vt:lpstr>Data!"),
        std::string::npos);
}

TEST(OoxmlControlSheetTest, ANameListGoesOnlyWhenTheEarlierSheetsNamesEmptiedIt) {
    // Written empty by its producer: kept as it was.
    std::vector<Entry> empty = excelWorkbook();
    std::string& workbook = empty[3].data;
    const std::size_t start = workbook.find("<definedNames>");
    const std::size_t end =
        workbook.find("</definedNames>") + std::string("</definedNames>").size();
    workbook.replace(start, end - start, "<definedNames/>");
    ControlSheetEdit edit = addOoxmlControlSheet(package(empty), controlSheet());
    ASSERT_EQ(edit.outcome, ControlSheetEdit::Outcome::Edited) << edit.why;
    EXPECT_NE(byName(edit.file).at("xl/workbook.xml").text.find("<definedNames/><calcPr"),
              std::string::npos);

    // Holding only a name of the earlier control sheet: it goes with that name.
    std::vector<Entry> only = excelWorkbook();
    only[3].data.replace(
        start, end - start,
        R"(<definedNames><definedName name="old" localSheetId="2">kovrisk!$A$1</definedName></definedNames>)");
    edit = addOoxmlControlSheet(package(only), controlSheet());
    ASSERT_EQ(edit.outcome, ControlSheetEdit::Outcome::Edited) << edit.why;
    EXPECT_EQ(byName(edit.file).at("xl/workbook.xml").text.find("definedName"), std::string::npos);
}

TEST(OoxmlControlSheetTest, TextKeepsItsEdgeSpacesAndOnlyThenSaysSo) {
    const std::string part = controlSheetPart({u"Kovrisk", u" warning\n", u"A79E", u"abc"}, 3);
    EXPECT_NE(part.find("<t xml:space=\"preserve\"> warning\n</t>"), std::string::npos) << part;
    EXPECT_NE(part.find(R"(<c r="Z2" s="3" t="inlineStr"><is><t>A79E</t>)"), std::string::npos);
}

TEST(OoxmlControlSheetTest, AnEarlierSheetsRelationshipAboveThePackageTakesNothingWithIt) {
    // A target that climbs above the package's root names no part: the content types part it
    // would reach by stopping at the root stays.
    std::vector<Entry> entries = excelWorkbook();
    std::string& rels = entries[9].data;
    ASSERT_EQ(entries[9].name, "xl/worksheets/_rels/sheet3.xml.rels");
    rels.insert(rels.find("</Relationships>"),
                R"(<Relationship Id="rId9" Type=")" + kType +
                    R"(customXml" Target="../../../../[Content_Types].xml"/>)");
    const ControlSheetEdit edit = addOoxmlControlSheet(package(entries), controlSheet());
    ASSERT_EQ(edit.outcome, ControlSheetEdit::Outcome::Edited) << edit.why;
    const std::map<std::string, Stored> after = byName(edit.file);
    EXPECT_TRUE(after.count("[Content_Types].xml"));
    EXPECT_FALSE(after.count("xl/worksheets/_rels/sheet3.xml.rels"));
}

TEST(OoxmlControlSheetTest, StrictPackagesAndUnknownFilesAreLeftToTheApplication) {
    std::vector<Entry> strict = excelWorkbook();
    std::string& workbook = strict[3].data;
    workbook.replace(workbook.find("http://schemas.openxmlformats.org/spreadsheetml/2006/main"), 57,
                     "http://purl.oclc.org/ooxml/spreadsheetml/main");
    const ControlSheetEdit edit = addOoxmlControlSheet(package(strict), controlSheet());
    EXPECT_EQ(edit.outcome, ControlSheetEdit::Outcome::NotTaken);
    EXPECT_EQ(edit.why, "Strict Open XML");

    EXPECT_EQ(
        fileControlSheetWriter().addControlSheet("PK\x03\x04 cut short", controlSheet()).outcome,
        ControlSheetEdit::Outcome::NotTaken);
    EXPECT_EQ(fileControlSheetWriter().addControlSheet("<html></html>", controlSheet()).outcome,
              ControlSheetEdit::Outcome::NotTaken);
}

TEST(OoxmlControlSheetTest, DamagedPartsAreReportedAndNothingIsWritten) {
    std::vector<Entry> broken = excelWorkbook();
    broken[4].data.erase(broken[4].data.size() - 5);  // the workbook's relationships cut short
    ControlSheetEdit edit = addOoxmlControlSheet(package(broken), controlSheet());
    EXPECT_EQ(edit.outcome, ControlSheetEdit::Outcome::Damaged);
    EXPECT_NE(edit.why.find("xl/_rels/workbook.xml.rels"), std::string::npos) << edit.why;
    EXPECT_TRUE(edit.file.empty());

    // A stored style sheet whose bytes no longer match their checksum.
    std::vector<Entry> flipped = excelWorkbook();
    flipped.back().stored = true;
    std::string file = package(flipped);
    file[file.find("<cellXfs count=\"1\">") + 1] = 'C';
    edit = addOoxmlControlSheet(file, controlSheet());
    EXPECT_EQ(edit.outcome, ControlSheetEdit::Outcome::Damaged) << edit.why;
}

}  // namespace
}  // namespace kovrisk::file_edit
