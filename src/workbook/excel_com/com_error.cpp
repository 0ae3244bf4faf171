#include "workbook/excel_com/com_error.h"

#include <cwchar>

#include "platform/text_codec.h"
#include "support/error_text.h"
#include "workbook/excel_com/unique_bstr.h"

namespace kovrisk {

namespace {

// Takes over the strings of an EXCEPINFO, so they are freed whatever happens.
struct ExceptionStrings {
    explicit ExceptionStrings(EXCEPINFO& exception) {
        *source.put() = std::exchange(exception.bstrSource, nullptr);
        *description.put() = std::exchange(exception.bstrDescription, nullptr);
        *helpFile.put() = std::exchange(exception.bstrHelpFile, nullptr);
    }
    UniqueBstr source;
    UniqueBstr description;
    UniqueBstr helpFile;
};

}  // namespace

std::string descriptionText(std::wstring_view description) {
    return toShiftJis(NativeString(trimmedErrorText(description)));
}

std::string statusText(HRESULT status) {
    wchar_t buffer[1024] = {};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(status), 0, buffer, 1024, nullptr);
    const std::wstring_view text = trimmedErrorText(std::wstring_view(buffer, length));
    if (!text.empty())
        return toShiftJis(NativeString(text));
    wchar_t fallback[64] = {};
    std::swprintf(fallback, 64, L"OLE エラー %.8x", static_cast<unsigned>(status));
    return toShiftJis(NativeString(fallback));
}

AutomationError statusError(HRESULT status) {
    return AutomationError(statusText(status));
}

MissingMemberError missingMemberError(std::wstring_view member) {
    const std::wstring text = L"メソッド '" + std::wstring(member) +
                              L"' はオートメーション オブジェクトでサポートしていません";
    return MissingMemberError(toShiftJis(text));
}

AutomationError notAnObjectError() {
    return AutomationError(
        toShiftJis(NativeString(L"バリアントはオートメーション オブジェクトを参照していません")));
}

AutomationError invokeError(HRESULT status, EXCEPINFO& exception) {
    if (status == DISP_E_EXCEPTION && exception.pfnDeferredFillIn != nullptr) {
        exception.pfnDeferredFillIn(&exception);
    }
    const ExceptionStrings strings(exception);
    if (status != DISP_E_EXCEPTION)
        return statusError(status);
    const std::string description = descriptionText(strings.description.view());
    if (!description.empty())
        return AutomationError(description);
    if (exception.scode != 0)
        return statusError(exception.scode);
    return statusError(status);
}

}  // namespace kovrisk
