#include "app/win32/com_apartment.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <thread>

namespace kovrisk {
namespace {

// The apartment the calling thread is in, or CO_E_NOTINITIALIZED when it is in none.
HRESULT apartmentOfThisThread(APTTYPE& type) {
    APTTYPEQUALIFIER qualifier{};
    return ::CoGetApartmentType(&type, &qualifier);
}

TEST(ComApartmentTest, EntersTheSingleThreadedApartmentAndLeavesItAgain) {
    std::thread([] {
        APTTYPE type{};
        {
            ComApartment apartment;
            ASSERT_EQ(apartmentOfThisThread(type), S_OK);
            EXPECT_TRUE(type == APTTYPE_STA || type == APTTYPE_MAINSTA) << type;
        }
        EXPECT_EQ(apartmentOfThisThread(type), CO_E_NOTINITIALIZED);
    }).join();
}

TEST(ComApartmentTest, AThreadAlreadyInAnotherApartmentIsLeftInIt) {
    std::thread([] {
        ASSERT_EQ(::CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        // CoInitialize fails here (another apartment's thread); the apartment the thread was in
        // must not be left on its behalf.
        { ComApartment apartment; }
        APTTYPE type{};
        EXPECT_EQ(apartmentOfThisThread(type), S_OK);
        EXPECT_EQ(type, APTTYPE_MTA);
        ::CoUninitialize();
    }).join();
}

}  // namespace
}  // namespace kovrisk
