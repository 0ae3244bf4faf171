#include "support/unique_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace kovrisk {
namespace {

// Every value released, in order; releasing 13 fails.
std::vector<int> released;
bool release(int value) {
    released.push_back(value);
    return value != 13;
}
int none() {
    return -7;
}

using Owner = UniqueResource<int, release, 0>;
using OwnerWithFunction = UniqueResource<int, release, none>;

TEST(UniqueResourceTest, ReleasesWhatItHoldsExactlyOnce) {
    released.clear();
    {
        Owner first(1);
        Owner second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), 1);
        Owner third(3);
        third = std::move(second);  // 3 goes, 1 moves on
        EXPECT_EQ(released, std::vector<int>{3});
        EXPECT_EQ(third.release(), 1);
        EXPECT_FALSE(third);
        *third.put() = 4;
        Owner empty;
        EXPECT_TRUE(empty.reset());
    }
    EXPECT_EQ(released, (std::vector<int>{3, 4}));
}

TEST(UniqueResourceTest, ResetTellsWhetherReleasingSucceeded) {
    released.clear();
    Owner failing(13);
    EXPECT_FALSE(failing.reset(5));
    EXPECT_EQ(failing.get(), 5);
    EXPECT_TRUE(failing.reset());
    EXPECT_EQ(released, (std::vector<int>{13, 5}));
}

TEST(UniqueResourceTest, AnInvalidValueFromAFunctionHoldsNothing) {
    released.clear();
    {
        OwnerWithFunction empty;
        EXPECT_EQ(empty.get(), -7);
        EXPECT_FALSE(empty);
        OwnerWithFunction zero(0);  // a valid value here
        EXPECT_TRUE(zero);
    }
    EXPECT_EQ(released, std::vector<int>{0});
}

}  // namespace
}  // namespace kovrisk
