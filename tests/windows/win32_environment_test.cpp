#include "platform/win32/win32_environment.h"

#include <gtest/gtest.h>

#include "platform/text_codec.h"
#include "platform/win32/win32_files.h"

namespace kovrisk {
namespace {

TEST(Win32Environment, TheCommonDataFolderIsAnExistingAbsoluteFolder) {
    Win32Environment environment;
    Win32Files files;
    const NativePath folder = environment.commonDataFolder();
    EXPECT_TRUE(folder.is_absolute()) << toShiftJis(folder);
    EXPECT_TRUE(files.isDirectory(folder)) << toShiftJis(folder);
}

}  // namespace
}  // namespace kovrisk
