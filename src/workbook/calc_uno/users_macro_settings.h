// The macro security settings of the user layer of LibreOffice's configuration
// (registrymodifications.xcu), read with an XML parser under the configuration format's rules.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrisk {

// What the user's profile sets under org.openoffice.Office.Common/Security/Scripting; what it
// leaves unset is the installation's (and its administrator's) setting.
struct UsersMacroSecurity {
    // MacroSecurityLevel: 0 low, 1 medium, 2 high, 3 very high.
    std::optional<int> level{};
    // DisableMacrosExecution: no macro runs at all.
    bool macrosDisabled = false;
    // SecureURL, the trusted locations, as stored: URLs, or paths below "$(home)".
    std::vector<std::string> trustedLocations{};
    // What could not be understood of the settings (empty when all was): then no macro runs.
    std::string notUnderstood{};
};

// Settings that could not be understood, for `why`.
UsersMacroSecurity notUnderstood(std::string why);

// What the user layer `registryModifications` sets of the macro security.  Items and nested nodes
// make a property's path; a later setting replaces an earlier one, "remove" resets it, and one
// that is finalized stays.  Whatever of those settings it cannot understand (a file that is no
// well-formed XML, a value of another form, a level out of range) makes it not understood.
// Linear in the size of the text.
UsersMacroSecurity usersMacroSecurityFrom(std::string_view registryModifications);

}  // namespace kovrisk
