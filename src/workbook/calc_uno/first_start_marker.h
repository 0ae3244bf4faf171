// LibreOffice's first-start marker in a profile of the program's own.
//
// An office whose profile does not record its version as the last one it ran
// (`ooSetupLastVersion`, in the profile's registrymodifications.xcu) takes its start for the first
// one after an update and runs its graphics tests, about two seconds more.  It records the version
// only when it shows a document window, which the program's hidden offices never do: so the
// program records it itself, before the office starts.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"

namespace kovrisk {

// The version ("7.4") of the office that `officeProgram` starts, as its installation's main
// configuration says; empty when it cannot be told.
std::string installedOfficeVersion(const NativePath& officeProgram);

// The version the office configuration `xcd` (a main.xcd's bytes) gives its product; empty when
// it gives none.  One pass, for any bytes.
std::string productVersionIn(std::string_view xcd);

// Records `version` as the last one run in the profile `profile` (an office user installation
// folder the user alone may change, with no office running on it): a new settings file when there
// is none, or the marker added to one without it.  Settings that are not the configuration
// format the office writes are left alone.  Returns whether the profile now carries the marker.
bool presetFirstStartMarker(const NativePath& profile, const std::string& version);

// `settings` (a registrymodifications.xcu's text, empty for none) with the marker for `version`
// added; empty when it carries one already or is not what the office writes.
std::string withFirstStartMarker(std::string_view settings, const std::string& version);

}  // namespace kovrisk
