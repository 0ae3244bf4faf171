#include "workbook/calc_uno/users_macro_settings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace kovrisk {
namespace {

std::string layer(const std::string& items) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
)" + items +
           "\n</oor:items>\n";
}

constexpr char kScripting[] =
    R"(<item oor:path="/org.openoffice.Office.Common/Security/Scripting">)";

std::string level(const std::string& value) {
    return std::string(kScripting) +
           R"(<prop oor:name="MacroSecurityLevel" oor:op="fuse"><value>)" + value +
           "</value></prop></item>";
}

TEST(UsersMacroSettings, ReadsTheSettingsInEveryFormTheFormatAllows) {
    // Property form, node form two levels up, a list of items and one with a separator.
    const UsersMacroSecurity security = usersMacroSecurityFrom(layer(
        level("1") +
        R"(<item oor:path="/org.openoffice.Office.Common"><node oor:name="Security" oor:op="fuse">)"
        R"(<node oor:name="Scripting" oor:op="fuse"><prop oor:name="DisableMacrosExecution" )"
        R"(oor:op="fuse" oor:type="xs:boolean"><value> true </value></prop></node></node></item>)" +
        kScripting +
        R"(<prop oor:name="SecureURL" oor:op="fuse"><value><it>$(home)/trusted</it>)"
        R"(<it>file:///srv/a%20b</it></value></prop></item>)"));
    EXPECT_EQ(security.notUnderstood, "");
    EXPECT_EQ(security.level, 1);
    EXPECT_TRUE(security.macrosDisabled);
    EXPECT_EQ(security.trustedLocations,
              (std::vector<std::string>{"$(home)/trusted", "file:///srv/a%20b"}));
    const UsersMacroSecurity separated = usersMacroSecurityFrom(layer(
        std::string(kScripting) +
        R"(<prop oor:name="SecureURL"><value oor:separator=";">file:///a;file:///b</value></prop></item>)"));
    EXPECT_EQ(separated.trustedLocations, (std::vector<std::string>{"file:///a", "file:///b"}));
}

TEST(UsersMacroSettings, CommentsAndOtherSettingsAreNoSettings) {
    const UsersMacroSecurity security = usersMacroSecurityFrom(layer(
        "<!-- " + level("0") + " -->" +
        R"(<item oor:path="/org.openoffice.Office.Common/Security/Scripting/Other">)"
        R"(<prop oor:name="MacroSecurityLevel"><value>0</value></prop></item>)" +
        R"(<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="MacroSecurityLevel">)"
        R"(<value>0</value></prop></item>)" +
        level("3")));
    EXPECT_EQ(security.notUnderstood, "");
    EXPECT_EQ(security.level, 3);
}

TEST(UsersMacroSettings, LaterSettingsReplaceEarlierOnesUnlessThoseWereFinalized) {
    EXPECT_EQ(usersMacroSecurityFrom(layer(level("0") + level("2"))).level, 2);
    const std::string removed =
        std::string(kScripting) + R"(<prop oor:name="MacroSecurityLevel" oor:op="remove"/></item>)";
    EXPECT_EQ(usersMacroSecurityFrom(layer(level("2") + removed)).level, std::nullopt);
    const std::string finalized =
        std::string(kScripting) +
        R"(<prop oor:name="MacroSecurityLevel" oor:finalized="true"><value>3</value></prop></item>)";
    EXPECT_EQ(usersMacroSecurityFrom(layer(finalized + level("0"))).level, 3);
    const std::string finalizedNode =
        R"(<item oor:path="/org.openoffice.Office.Common/Security"><node oor:name="Scripting" )"
        R"(oor:finalized="true"><prop oor:name="MacroSecurityLevel"><value>3</value></prop></node></item>)";
    EXPECT_EQ(usersMacroSecurityFrom(layer(finalizedNode + level("0"))).level, 3);
}

TEST(UsersMacroSettings, WhatIsNotUnderstoodRunsNoMacro) {
    const std::string attributed =
        std::string(kScripting) +
        R"(<prop oor:name="MacroSecurityLevel"><value xsi:nil="true"/></prop></item>)";
    const std::string lang =
        std::string(kScripting) +
        R"(<prop oor:name="DisableMacrosExecution"><value xml:lang="en">false</value></prop></item>)";
    const std::string entity = R"(<?xml version="1.0"?><!DOCTYPE x [<!ENTITY l "0">]>)"
                               R"(<oor:items xmlns:oor="http://openoffice.org/2001/registry">)" +
                               level("&l;") + "</oor:items>";
    for (const std::string& text :
         {layer(level("4")), layer(level("high")), layer(attributed), layer(lang), entity,
          layer(level("0")).substr(0, 300), std::string("not xml at all")}) {
        SCOPED_TRACE(text);
        const UsersMacroSecurity security = usersMacroSecurityFrom(text);
        EXPECT_NE(security.notUnderstood, "");
    }
    // Nothing at all is understood: the office's own settings.
    EXPECT_EQ(usersMacroSecurityFrom(layer("")).notUnderstood, "");
}

TEST(UsersMacroSettings, ALargeFileIsReadInOnePass) {
    // Fifteen megabytes of other settings, each item open until its end (the text scan read each
    // to the end of the file).
    std::string items;
    const std::string other =
        R"(<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="Unused">)"
        R"(<value>0123456789</value></prop></item>)";
    while (items.size() < 15u << 20)
        items += other;
    const auto started = std::chrono::steady_clock::now();
    const UsersMacroSecurity security = usersMacroSecurityFrom(layer(items + level("2")));
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started);
    EXPECT_EQ(security.level, 2);
    RecordProperty("seconds_for_15_MB", std::to_string(seconds.count()));
}

}  // namespace
}  // namespace kovrisk
