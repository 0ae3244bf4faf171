// The automation errors of the COM client, each with the text the user and the log see.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <string_view>

#include "workbook/automation.h"

namespace kovrisk {

// The text of an application's own error description: trailing blanks, control characters and
// full stops removed, in Shift-JIS.
std::string descriptionText(std::wstring_view description);

// The system's text for `status` (same trimming), or "OLE エラー xxxxxxxx" when it has none.
std::string statusText(HRESULT status);

// A failed call that carries no description of its own.
AutomationError statusError(HRESULT status);
// GetIDsOfNames did not know the member: an older Excel has no such member.
class MissingMemberError : public AutomationError {
public:
    using AutomationError::AutomationError;
};

// GetIDsOfNames did not know `member`.
MissingMemberError missingMemberError(std::wstring_view member);
// A result that should have been an object was something else.
AutomationError notAnObjectError();
// A failed Invoke: the application's description from `exception` when the call raised one
// (DISP_E_EXCEPTION), else the text of the status.  Frees the strings `exception` holds.
AutomationError invokeError(HRESULT status, EXCEPINFO& exception);

}  // namespace kovrisk
