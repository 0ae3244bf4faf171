// The one place where UNO failures become the object model's error.
#pragma once

#include <com/sun/star/uno/Exception.hpp>

#include <string>
#include <utility>

#include "workbook/automation.h"

namespace kovrisk {

// The text of the UNO exception being handled: LibreOffice's message, less trailing blanks,
// control characters and "."; the exception's type name when the message is empty.  Call only
// inside a catch block.
std::string caughtUnoErrorText();

// Runs `call`; a UNO exception it throws becomes an AutomationError with LibreOffice's text.
template <typename Call>
decltype(auto) unoCall(Call&& call) {
    try {
        return std::forward<Call>(call)();
    } catch (const com::sun::star::uno::Exception&) {
        throw AutomationError(caughtUnoErrorText());
    }
}

}  // namespace kovrisk
