// How a workbook is loaded for the user, in the office handed to the user: shown, with whatever
// the office asks about it put to the user in the office's own dialogs, and its macros treated as
// the user's own office would treat them.
#pragma once

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <string>
#include <vector>

#include "platform/files.h"

namespace kovrisk {

// The media descriptor for loading `fileName` with `password` for the user.  With
// `usersMacroSettings` the user's own macro security settings decide about its macros (see
// users_macro_security.h); without, none runs.  `notice` gets why those settings could not be
// understood (then none runs either), or empty.
std::vector<com::sun::star::beans::PropertyValue> usersLoadArguments(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context,
    const NativePath& fileName, const std::string& password, bool usersMacroSettings,
    std::string& notice);

}  // namespace kovrisk
