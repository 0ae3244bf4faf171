#include "workbook/excel_com/dispatch_argument.h"

#include <new>

#include "platform/text_codec.h"
#include "workbook/excel_com/unique_bstr.h"

namespace kovrisk {

namespace {

UniqueVariant bstrVariant(std::wstring_view text) {
    UniqueBstr bstr(text);
    UniqueVariant value;
    value.get().vt = VT_BSTR;
    value.get().bstrVal = bstr.release();
    return value;
}

std::wstring wide(std::string_view shiftJis) {
    const std::u16string utf16 = shiftJisToUtf16(shiftJis);
    return std::wstring(utf16.begin(), utf16.end());
}

}  // namespace

DispatchArgument DispatchArgument::text(std::string_view shiftJis) {
    return DispatchArgument(bstrVariant(wide(shiftJis)), false);
}

DispatchArgument DispatchArgument::textByRef(std::string_view shiftJis) {
    return DispatchArgument(bstrVariant(wide(shiftJis)), true);
}

DispatchArgument DispatchArgument::pathByRef(const NativePath& path) {
    return DispatchArgument(bstrVariant(path.native()), true);
}

DispatchArgument DispatchArgument::boolean(bool value) {
    UniqueVariant variant;
    variant.get().vt = VT_BOOL;
    variant.get().boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return DispatchArgument(std::move(variant), false);
}

DispatchArgument DispatchArgument::integer(int value) {
    UniqueVariant variant;
    variant.get().vt = VT_I4;
    variant.get().lVal = value;
    return DispatchArgument(std::move(variant), false);
}

DispatchArgument DispatchArgument::omittedByRef() {
    UniqueVariant variant;
    variant.get().vt = VT_ERROR;
    variant.get().scode = DISP_E_PARAMNOTFOUND;
    return DispatchArgument(std::move(variant), true);
}

DispatchArgument DispatchArgument::object(IDispatch* object) {
    UniqueVariant variant;
    variant.get().vt = VT_DISPATCH;
    variant.get().pdispVal = object;
    if (object != nullptr)
        object->AddRef();
    return DispatchArgument(std::move(variant), false);
}

VARIANT DispatchArgument::passed() {
    VARIANT passed;
    ::VariantInit(&passed);
    VARIANT& value = value_.get();
    if (!byRef_)
        return value;  // a shallow copy: the callee does not free [in] arguments
    if (value.vt == VT_BSTR) {
        passed.vt = VT_BYREF | VT_BSTR;
        passed.pbstrVal = &value.bstrVal;
    } else {
        passed.vt = VT_BYREF | VT_VARIANT;
        passed.pvarVal = &value;
    }
    return passed;
}

}  // namespace kovrisk
