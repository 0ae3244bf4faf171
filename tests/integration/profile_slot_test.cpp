// The profile folder an office runs on: a folder of the user's alone, or none at all.  (No office
// starts here; the slot is what the office session takes before it starts one.)
#include "workbook/calc_uno/profile_slot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "fakes/temp_folder.h"
#include "workbook/automation.h"
#include "workbook/calc_uno/first_start_marker.h"
#include "workbook/calc_uno/office_output.h"

namespace kovrisk {
namespace {

namespace fs = std::filesystem;
using testing::TempFolder;

constexpr uid_t kNobody = 65534;

unsigned modeOf(const NativePath& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// `folder` is refused with a text that names it, and nothing is made in `inside`.
void expectRefused(const NativePath& folder, const NativePath& inside) {
    try {
        ProfileSlot slot(folder);
        ADD_FAILURE() << "accepted " << folder;
    } catch (const AutomationError& error) {
        EXPECT_NE(std::string(error.what()).find(folder.native()), std::string::npos)
            << error.what();
    }
    EXPECT_TRUE(fs::is_empty(inside)) << inside;
}

TEST(ProfileFolder, AMissingFolderIsMadeForTheUserAlone) {
    TempFolder temp;
    const mode_t umask = ::umask(0);
    ::umask(umask);
    const NativePath folder = temp / "cache" / "deeper" / "kovrisk";
    ProfileSlot slot(folder);
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_EQ(modeOf(temp / "cache" / "deeper"), 0777u & ~umask);
    EXPECT_EQ(slot.profile(), folder / "office-profile-0");
    EXPECT_GE(slot.lockFd(), 0);
    // Others may read the user's own folder: it is still taken (the next slot, the first is busy).
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(ProfileSlot(folder).profile(), folder / "office-profile-1");
}

TEST(ProfileFolder, SlotsNeverRunOutWhileEarlierOnesAreKept) {
    // Every office handed to the user keeps its slot: many of them at once still leave one free.
    TempFolder temp;
    std::vector<ProfileSlot> taken;
    for (int slot = 0; slot < 40; ++slot) {
        taken.emplace_back(temp / "kovrisk");
        EXPECT_EQ(taken.back().profile(),
                  temp / "kovrisk" / ("office-profile-" + std::to_string(slot)));
    }
    // A slot let go is the first one taken again.
    taken.erase(taken.begin() + 3);
    EXPECT_EQ(ProfileSlot(temp / "kovrisk").profile(), temp / "kovrisk" / "office-profile-3");
}

TEST(ProfileFolder, TheOfficesTemporaryFolderIsPrivateAndEmptiedWhenTheSlotIsTaken) {
    // What a killed office left in its temporary folder goes with the next office on the slot.
    TempFolder temp;
    const NativePath folder = temp / "kovrisk";
    {
        ProfileSlot slot(folder);
        EXPECT_EQ(slot.temporary(), folder / "office-profile-0" / "tmp");
        EXPECT_EQ(modeOf(slot.temporary()), 0700u);
        std::FILE* left = std::fopen((slot.temporary() / "lu1234.tmp").c_str(), "w");
        ASSERT_NE(left, nullptr);
        std::fclose(left);
    }
    ProfileSlot again(folder);
    EXPECT_TRUE(fs::is_empty(again.temporary()));
}

TEST(ProfileFolder, AFolderTheGroupOrOthersMayWriteIsRefused) {
    for (const mode_t mode : {0770, 0707, 0777, 01777}) {
        TempFolder temp;
        fs::create_directory(temp / "kovrisk");
        ::chmod((temp / "kovrisk").c_str(), mode);
        expectRefused(temp / "kovrisk", temp / "kovrisk");
    }
}

TEST(ProfileFolder, ASymbolicLinkIsRefusedWhereverItLeads) {
    TempFolder temp;
    fs::create_directory(temp / "private");
    ::chmod((temp / "private").c_str(), 0700);
    fs::create_directory_symlink(temp / "private", temp / "kovrisk");
    expectRefused(temp / "kovrisk", temp / "private");
}

TEST(ProfileFolder, AnotherUsersFolderIsRefused) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can give a folder to another user";
    TempFolder temp;
    fs::create_directory(temp / "kovrisk");
    ::chmod((temp / "kovrisk").c_str(), 0755);
    ASSERT_EQ(::chown((temp / "kovrisk").c_str(), kNobody, kNobody), 0);
    expectRefused(temp / "kovrisk", temp / "kovrisk");
}

TEST(ProfileFolder, ASlotLockThatIsASymbolicLinkIsNotFollowed) {
    TempFolder temp;
    const NativePath folder = temp / "kovrisk";
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    fs::create_symlink(temp / "elsewhere", folder / "office-profile-0.lock");
    ProfileSlot slot(folder);
    EXPECT_FALSE(fs::exists(temp / "elsewhere"));
    EXPECT_EQ(slot.profile(), folder / "office-profile-1");
}

// The office's output file: new, the user's alone, never where a planted link points; its tail
// is one line of the last words.
TEST(OfficeOutputFile, IsMadeAnewAndNeverThroughALink) {
    TempFolder temp;
    const NativePath victim = temp / "victim";
    FILE* file = std::fopen(victim.c_str(), "w");
    std::fputs("private", file);
    std::fclose(file);
    ASSERT_EQ(::symlink(victim.c_str(), (temp / "office-output.txt").c_str()), 0);
    OfficeOutput output(temp.path());
    ASSERT_GE(output.fd(), 0);
    EXPECT_EQ(modeOf(temp / "office-output.txt"), 0600u);
    const std::string said = std::string(3000, 'x') + "\n\t\xC3\xA9t\xC3\xA9 \r\n";
    ASSERT_EQ(::write(output.fd(), said.data(), said.size()), static_cast<ssize_t>(said.size()));
    EXPECT_EQ(fs::file_size(victim), 7u);
    EXPECT_EQ(output.tail(10), "xxxx \xC3\xA9t\xC3\xA9");
    // A cut character is left out.
    EXPECT_EQ(output.tail(4), "t\xC3\xA9");
    EXPECT_EQ(OfficeOutput(NativePath()).tail(10), "");
}

TEST(FirstStartMarker, TheVersionIsTheProductsValueNotTheSchemas) {
    EXPECT_EQ(productVersionIn("<prop oor:name=\"ooSetupVersion\" oor:type=\"xs:string\">"
                               "<value/></prop><prop oor:name=\"ooSetupVersion\">\n  "
                               "<value>7.4</value>"),
              "7.4");
    EXPECT_EQ(productVersionIn("<prop oor:name=\"ooSetupVersion\"><value>7.4\"/>"), "");
    EXPECT_EQ(productVersionIn("<prop oor:name=\"ooSetupVersion\"><value>x.4</value>"), "");
    EXPECT_EQ(productVersionIn("<prop oor:name=\"ooSetupVersion\"><value>"), "");
}

TEST(FirstStartMarker, IsAddedOnlyToSettingsAsTheOfficeWritesThem) {
    const std::string written = "<?xml version=\"1.0\"?>\n<oor:items>\n<item/>\n</oor:items>\n";
    const std::string marked = withFirstStartMarker(written, "7.4");
    EXPECT_EQ(marked.find("<item/>\n<item oor:path=\"/org.openoffice.Setup/Product\"><prop "
                          "oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>7.4</value>"),
              written.find("<item/>"));
    EXPECT_EQ(marked.substr(marked.size() - 13), "</oor:items>\n");
    EXPECT_EQ(withFirstStartMarker(marked, "7.4"), "");
    EXPECT_EQ(withFirstStartMarker(written + "<tail/>", "7.4"), "");
    EXPECT_EQ(withFirstStartMarker("<oor:items>\n</oor:items>", "7.4"), "");
    EXPECT_NE(withFirstStartMarker("", "7.4").find("<value>7.4</value>"), std::string::npos);
}

TEST(FirstStartMarker, IsNeverWrittenThroughAPlantedLink) {
    TempFolder temp;
    const NativePath victim = temp / "victim";
    FILE* file = std::fopen(victim.c_str(), "w");
    std::fputs("<?xml version=\"1.0\"?>\n<oor:items>\n</oor:items>\n", file);
    std::fclose(file);
    fs::create_directories(temp / "profile" / "user");
    fs::create_symlink(victim, temp / "profile" / "user" / "registrymodifications.xcu");
    EXPECT_FALSE(presetFirstStartMarker(temp / "profile", "7.4"));
    EXPECT_EQ(testing::readFile(victim), "<?xml version=\"1.0\"?>\n<oor:items>\n</oor:items>\n");
    // A fresh profile gets a file of its own, for the user alone.
    EXPECT_TRUE(presetFirstStartMarker(temp / "fresh", "7.4") == false);
    fs::create_directory(temp / "fresh");
    EXPECT_TRUE(presetFirstStartMarker(temp / "fresh", "7.4"));
    EXPECT_EQ(modeOf(temp / "fresh" / "user" / "registrymodifications.xcu"), 0600u);
    EXPECT_EQ(fs::directory_iterator(temp / "fresh" / "user")->path().filename(),
              "registrymodifications.xcu");
}

}  // namespace
}  // namespace kovrisk
