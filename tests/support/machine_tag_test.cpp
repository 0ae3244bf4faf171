#include "support/machine_tag.h"

#include <gtest/gtest.h>

#include "fakes/fake_clock.h"

namespace kovrisk {
namespace {

using testing::FakeClock;

// Tag of "PC01" drawn with the tick count starting at 1000; each pause advances it.
const std::string kPc01Tag = "A794949E8593929E9E90CECFBC8F";

TEST(FillerLetter, FollowsTheLastThreeDigitsOfTheTickCount) {
    struct Case {
        std::uint32_t ticks;
        char letter;
    };
    const Case cases[] = {
        {30, 'z'},          {0, 'z'},        // units 0
        {5, 'p'},           {17, 'l'},       // odd units: the tens digit after k
        {7, 'r'},                            // one digit: the tens position reads it
        {372, 'd'},         {1234568, 'f'},  // even units: the hundreds digit after a
        {2147483648u, 'g'},                  // negative as a signed count
        {4294967295u, 'l'},                  // -1: the sign is no digit
    };
    for (const Case& c : cases) {
        FakeClock clock;
        clock.ticks = c.ticks;
        EXPECT_EQ(fncRandChr(clock), std::string(1, c.letter)) << c.ticks;
    }
}

TEST(MachineTagEncoding, PausesNineTimesAndGivesTheExactTag) {
    FakeClock clock;
    clock.ticks = 1000;
    EXPECT_EQ(fncPcNameEnc("PC01", clock), kPc01Tag);
    ASSERT_EQ(clock.sleeps.size(), 9u);
    std::chrono::milliseconds total{0};
    for (std::size_t k = 0; k < clock.sleeps.size(); ++k) {
        EXPECT_EQ(clock.sleeps[k].count(), static_cast<long>(k + 1));
        total += clock.sleeps[k];
    }
    EXPECT_EQ(total.count(), 45);
}

TEST(MachineTagEncoding, LongerNameAndEmptyName) {
    FakeClock clock;
    clock.ticks = 123456;
    EXPECT_EQ(fncPcNameEnc("KOVRISK-HOST", clock), "A78F8F9A9A8D8D9A9A94AB8CB097D294AC96AD89B094");
    FakeClock zero;
    const std::string empty = fncPcNameEnc("", zero);
    EXPECT_EQ(empty, "A79391988593929C9B90");
    EXPECT_EQ(fncPcNameDec(empty), "");
}

TEST(MachineTagDecoding, RoundTripsNamesUpperCased) {
    for (const std::string name : {"PC01", "pc-01", "A", "\x95\x5C\x8E\xA6-host", "X1234567"}) {
        FakeClock clock;
        std::string upper = name;
        for (char& c : upper)
            c = (c >= 'a' && c <= 'z') ? char(c - 32) : c;
        EXPECT_EQ(fncPcNameDec(fncPcNameEnc(name, clock)), upper) << name;
    }
    FakeClock clock;
    const std::string longest(117, 'N');
    EXPECT_EQ(fncPcNameDec(fncPcNameEnc(longest, clock)), longest);
}

TEST(MachineTagDecoding, MalformedTags) {
    std::string lower = kPc01Tag;
    for (char& c : lower)
        c = (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
    EXPECT_EQ(fncPcNameDec(lower), "PC01");
    // A leading space shifts every digit into the other half of its byte.
    EXPECT_EQ(fncPcNameDec(" " + kPc01Tag),
              "\x0F"
              "7\x04\x13\xF3");
    // Odd length: the last digit is the upper half of a final byte.
    EXPECT_EQ(fncPcNameDec(kPc01Tag + "A"), "_PC01");
    EXPECT_EQ(fncPcNameDec(kPc01Tag.substr(0, kPc01Tag.size() - 1)),
              "\x7F"
              "C01");
    // 00 ends the decoding; FF decodes to a zero byte, which is dropped.
    EXPECT_EQ(fncPcNameDec(kPc01Tag.substr(0, 24) + "00" + kPc01Tag.substr(26)), "01");
    EXPECT_EQ(fncPcNameDec(kPc01Tag.substr(0, 24) + "FF" + kPc01Tag.substr(26)), "P01");
    // The first 20 characters are not examined.
    EXPECT_EQ(fncPcNameDec("B88" + kPc01Tag.substr(3)), "PC01");
    EXPECT_EQ(fncPcNameDec(kPc01Tag.substr(0, 20)), "");
    EXPECT_EQ(fncPcNameDec("XYZ"), "");
}

TEST(MachineTagDecoding, OverLongTagStaysWithinItsArea) {
    // 10 plain bytes, then 200 name bytes: only the first 128 bytes of the area count.
    std::string tag = "A7";
    for (int i = 0; i < 9; ++i)
        tag += "9E";
    for (int i = 0; i < 200; ++i)
        tag += "BE";
    EXPECT_EQ(fncPcNameDec(tag), std::string(118, 'A'));
    EXPECT_EQ(fncPcNameDec(std::string(100000, 'E')), std::string(118, '\x11'));
}

}  // namespace
}  // namespace kovrisk
