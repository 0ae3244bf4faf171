#include "platform/native_environment.h"

#include <gtest/gtest.h>

#include "platform/native_files.h"
#include "platform/text_codec.h"

namespace kovrisk {
namespace {

TEST(NativeEnvironment, TheCommonDataFolderIsAnExistingAbsoluteFolder) {
    NativeEnvironment environment;
    NativeFiles files;
    const NativePath folder = environment.commonDataFolder();
    EXPECT_TRUE(folder.is_absolute()) << toShiftJis(folder);
    EXPECT_TRUE(files.isDirectory(folder)) << toShiftJis(folder);
}

}  // namespace
}  // namespace kovrisk
