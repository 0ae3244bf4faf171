#include "formats/package_parts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

namespace kovrisk::package {
namespace {

TEST(PackagePartsTest, StructureLockIsFoundWithOrWithoutPrefixAndOnlyInAnElement) {
    EXPECT_TRUE(workbookPartLocksStructure(
        R"(<workbook><workbookProtection lockStructure="1"/><sheets/></workbook>)"));
    EXPECT_TRUE(workbookPartLocksStructure(
        "<x:workbook><x:workbookProtection\n workbookPassword='CC23' lockStructure = 'true'>"));
    EXPECT_FALSE(workbookPartLocksStructure(
        R"(<workbook><workbookProtection lockWindows="1" lockStructure="0"/></workbook>)"));
    EXPECT_FALSE(workbookPartLocksStructure(
        R"(<workbook><!-- <workbookProtection lockStructure="1"/> --><sheets/></workbook>)"));
    EXPECT_FALSE(workbookPartLocksStructure(
        R"(<workbook><definedName>workbookProtection lockStructure="1"</definedName></workbook>)"));
    EXPECT_FALSE(workbookPartLocksStructure(R"(<workbook><workbookProtection lockStructure="1)"));
}

// A comment repeating the element's name made the old check quadratic: 16 MB of it took hours.
// Read in one pass it is a moment; the suite's time limit catches a return of the fault.
TEST(PackagePartsTest, PartsRepeatingTheElementsNameAreReadInOnePass) {
    std::ifstream in(
        std::string(KOVRISK_TEST_SOURCE_DIR) + "/fuzz/regressions/lockstructure-quadratic-360k.xml",
        std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    ASSERT_GT(bytes.str().size(), 300000u);
    EXPECT_FALSE(workbookPartLocksStructure(bytes.str()));
    std::string huge = "<workbook><";
    while (huge.size() < kPartReadLimit)
        huge += "workbookProtection lockStructure=\"0\" <workbookProtection";
    EXPECT_FALSE(workbookPartLocksStructure(huge));
}

TEST(PackagePartsTest, RelationshipTargetsResolveAgainstTheirSourcesFolder) {
    EXPECT_EQ(relationshipTarget("", "xl/workbook.xml"), "xl/workbook.xml");
    EXPECT_EQ(relationshipTarget("xl/workbook.xml", "worksheets/sheet1.xml"),
              "xl/worksheets/sheet1.xml");
    EXPECT_EQ(relationshipTarget("xl/worksheets/sheet1.xml", "../drawings/./drawing1.xml"),
              "xl/drawings/drawing1.xml");
    EXPECT_EQ(relationshipTarget("xl/workbook.xml", "/xl/styles.xml#top"), "xl/styles.xml");
    EXPECT_EQ(relationshipTarget("xl/workbook.xml", "../../outside.xml"), "");
    EXPECT_EQ(relationshipPartOf("xl/workbook.xml"), "xl/_rels/workbook.xml.rels");
}

// A package re-zipped on a Mac: every part has a resource fork beside it, which is no XML.
TEST(PackagePartsTest, OnlyThePartsThePackageDeclaresAreItsParts) {
    const std::map<std::string, std::string> package{
        {"[Content_Types].xml",
         R"(<Types><Default Extension="xml" ContentType="application/xml"/>)"
         R"(<Override PartName="/docProps/app.xml" ContentType="x"/></Types>)"},
        {"_rels/.rels",
         R"(<Relationships><Relationship Id="r1" Target="xl/workbook.xml"/>)"
         R"(<Relationship Id="r2" Target="http://example.com/" TargetMode="External"/>)"
         R"(</Relationships>)"},
        {"xl/workbook.xml", "<workbook/>"},
        {"xl/_rels/workbook.xml.rels",
         R"(<Relationships><Relationship Id="r1" Target="worksheets/sheet1.xml"/>)"
         R"(<Relationship Id="r2" Target="/xl/workbook.xml"/></Relationships>)"},
        {"xl/worksheets/sheet1.xml", "<worksheet/>"},
        {"__MACOSX/xl/._workbook.xml", "\x00\x05\x16\x07 resource fork"},
        {"docProps/app.xml", "<Properties/>"},
    };
    const std::set<std::string> declared = declaredParts([&](const std::string& name) {
        const auto found = package.find(name);
        return found == package.end() ? std::nullopt : std::optional<std::string>(found->second);
    });
    EXPECT_EQ(declared, (std::set<std::string>{"[Content_Types].xml", "_rels/.rels",
                                               "docProps/app.xml", "xl/_rels/workbook.xml.rels",
                                               "xl/workbook.xml", "xl/worksheets/sheet1.xml"}));
}

}  // namespace
}  // namespace kovrisk::package
