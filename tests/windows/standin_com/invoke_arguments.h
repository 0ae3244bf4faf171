// The arguments of one IDispatch::Invoke as a server reads them: positional ones first, then the
// named ones by their parameter position, by-reference values followed to what they refer to.
// Every misuse ends in InvokeFailure with the status a strict automation server returns.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace kovrisk::testing {

struct InvokeFailure {
    HRESULT status;
    UINT argument = 0;  // rgvarg index, for DISP_E_TYPEMISMATCH and DISP_E_PARAMNOTFOUND
};

class InvokeArguments {
public:
    // `parameterCount`: how many parameters the member has; named arguments carry their position
    // as DISPID.  A property put carries its value as the one DISPID_PROPERTYPUT argument.
    InvokeArguments(const DISPPARAMS& parameters, std::size_t parameterCount, bool propertyPut);

    // Whether the parameter at `position` was given and not omitted (VT_ERROR
    // DISP_E_PARAMNOTFOUND).
    bool given(std::size_t position) const;
    std::string text(std::size_t position) const;  // an OLE string, back to Shift-JIS
    std::wstring wideText(std::size_t position) const;
    bool boolean(std::size_t position) const;  // VARIANT_TRUE or VARIANT_FALSE, nothing else
    int integer(std::size_t position) const;
    IDispatch* object(std::size_t position) const;
    VARTYPE type(std::size_t position) const;  // of the value, by reference followed

    // The value of a property put.
    static constexpr std::size_t kValue = static_cast<std::size_t>(-1);

    // How the arguments came, in call order, for the wire record: "#1:BSTR&", "Password:BSTR&",
    // "=BOOL(-1)".  `names` are the parameter names by position.
    std::wstring describe(const std::vector<std::wstring>& names) const;

private:
    const VARIANT* find(std::size_t position, UINT* index) const;
    const VARIANT& required(std::size_t position, UINT* index) const;

    const DISPPARAMS& parameters_;
    std::size_t positional_;
    bool propertyPut_;
};

}  // namespace kovrisk::testing
