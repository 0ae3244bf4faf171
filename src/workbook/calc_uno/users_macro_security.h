// The macro security the user has settled in their own LibreOffice (the user profile the user's
// office runs on, not this program's), and the macro execution mode that treats a workbook
// opened for the user as the user's own office would treat it.
#pragma once

#include <sal/types.h>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "workbook/calc_uno/users_macro_settings.h"

namespace kovrisk {

// The user layer of the user's own LibreOffice profile:
// $XDG_CONFIG_HOME/libreoffice/4/user/registrymodifications.xcu, ~/.config in place of an unset
// $XDG_CONFIG_HOME.  Empty without a home folder.
NativePath usersRegistryModifications();

// The settings in `file`; a missing file sets nothing, an unreadable or oversized one is not
// understood.
UsersMacroSecurity readUsersMacroSecurity(const NativePath& file);

// Whether the office's configuration fixes the macro security settings (an administrator finalized
// them): then what the user's profile says of them does not count, in the user's office either.
bool macroSecurityFixed(
    const com::sun::star::uno::Reference<com::sun::star::uno::XComponentContext>& context);

// com.sun.star.document.MacroExecMode for loading `document`, under `security`, as the user's
// office would (none runs when the settings were not understood): a trusted location runs its
// macros without a question, the levels give what the office makes of them, and what the user left
// unset is left to the office's configuration (USE_CONFIG), which holds the installation's
// settings.  `home` stands for "$(home)".
sal_Int16 macroExecModeFor(const UsersMacroSecurity& security, const NativePath& document,
                           const NativePath& home);

}  // namespace kovrisk
