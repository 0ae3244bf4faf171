#include "standin_com/invoke_arguments.h"

#include <cwchar>

#include "platform/text_codec.h"

namespace kovrisk::testing {

namespace {

const VARIANT& dereferenced(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) {
        return dereferenced(*value.pvarVal);
    }
    return value;
}

bool omitted(const VARIANT& value) {
    const VARIANT& target = dereferenced(value);
    if (target.vt == VT_ERROR)
        return target.scode == DISP_E_PARAMNOTFOUND;
    if (target.vt == (VT_BYREF | VT_ERROR))
        return *target.pscode == DISP_E_PARAMNOTFOUND;
    return false;
}

std::wstring typeName(const VARIANT& value) {
    std::wstring name;
    VARTYPE type = value.vt;
    const bool byRef = (type & VT_BYREF) != 0;
    type &= ~VT_BYREF;
    wchar_t number[32];
    switch (type) {
        case VT_BSTR:
            name = L"BSTR";
            break;
        case VT_BOOL:
            std::swprintf(number, 32, L"BOOL(%d)",
                          byRef ? *value.pboolVal : static_cast<int>(value.boolVal));
            name = number;
            break;
        case VT_I4:
            name = L"I4";
            break;
        case VT_I2:
            name = L"I2";
            break;
        case VT_DISPATCH:
            name = L"DISPATCH";
            break;
        case VT_ERROR:
            std::swprintf(number, 32, L"ERROR(%08lx)",
                          static_cast<unsigned long>(byRef ? *value.pscode : value.scode));
            name = number;
            break;
        case VT_VARIANT:
            return L"VARIANT&->" + (value.pvarVal ? typeName(*value.pvarVal) : L"null");
        default:
            std::swprintf(number, 32, L"VT(%u)", static_cast<unsigned>(type));
            name = number;
    }
    return byRef ? name + L"&" : name;
}

}  // namespace

InvokeArguments::InvokeArguments(const DISPPARAMS& parameters, std::size_t parameterCount,
                                 bool propertyPut)
    : parameters_(parameters), propertyPut_(propertyPut) {
    if (parameters.cNamedArgs > parameters.cArgs)
        throw InvokeFailure{E_INVALIDARG};
    if (parameters.cArgs > 0 && parameters.rgvarg == nullptr)
        throw InvokeFailure{E_INVALIDARG};
    if (parameters.cNamedArgs > 0 && parameters.rgdispidNamedArgs == nullptr) {
        throw InvokeFailure{E_INVALIDARG};
    }
    positional_ = parameters.cArgs - parameters.cNamedArgs;
    if (propertyPut) {
        if (parameters.cNamedArgs != 1 || parameters.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
            throw InvokeFailure{DISP_E_PARAMNOTFOUND, 0};
        }
        if (positional_ > parameterCount)
            throw InvokeFailure{DISP_E_BADPARAMCOUNT};
        return;
    }
    if (positional_ > parameterCount)
        throw InvokeFailure{DISP_E_BADPARAMCOUNT};
    for (UINT i = 0; i < parameters.cNamedArgs; ++i) {
        const DISPID id = parameters.rgdispidNamedArgs[i];
        // A named argument names a parameter that exists and that no other argument took.
        if (id < 0 || static_cast<std::size_t>(id) >= parameterCount ||
            static_cast<std::size_t>(id) < positional_) {
            throw InvokeFailure{DISP_E_PARAMNOTFOUND, i};
        }
        for (UINT j = 0; j < i; ++j) {
            if (parameters.rgdispidNamedArgs[j] == id)
                throw InvokeFailure{DISP_E_PARAMNOTFOUND, i};
        }
    }
}

const VARIANT* InvokeArguments::find(std::size_t position, UINT* index) const {
    if (position == kValue) {
        if (!propertyPut_)
            return nullptr;
        *index = 0;
        return &parameters_.rgvarg[0];
    }
    if (position < positional_) {
        *index = static_cast<UINT>(parameters_.cArgs - 1 - position);
        return &parameters_.rgvarg[*index];
    }
    if (propertyPut_)
        return nullptr;
    for (UINT i = 0; i < parameters_.cNamedArgs; ++i) {
        if (static_cast<std::size_t>(parameters_.rgdispidNamedArgs[i]) == position) {
            *index = i;
            return &parameters_.rgvarg[i];
        }
    }
    return nullptr;
}

bool InvokeArguments::given(std::size_t position) const {
    UINT index = 0;
    const VARIANT* value = find(position, &index);
    return value != nullptr && !omitted(*value);
}

const VARIANT& InvokeArguments::required(std::size_t position, UINT* index) const {
    const VARIANT* value = find(position, index);
    if (value == nullptr || omitted(*value))
        throw InvokeFailure{DISP_E_PARAMNOTOPTIONAL};
    return dereferenced(*value);
}

VARTYPE InvokeArguments::type(std::size_t position) const {
    UINT index = 0;
    return required(position, &index).vt;
}

std::wstring InvokeArguments::wideText(std::size_t position) const {
    UINT index = 0;
    const VARIANT& value = required(position, &index);
    BSTR text = nullptr;
    if (value.vt == VT_BSTR) {
        text = value.bstrVal;
    } else if (value.vt == (VT_BYREF | VT_BSTR) && value.pbstrVal != nullptr) {
        text = *value.pbstrVal;
    } else {
        throw InvokeFailure{DISP_E_TYPEMISMATCH, index};
    }
    return text == nullptr ? std::wstring() : std::wstring(text, ::SysStringLen(text));
}

std::string InvokeArguments::text(std::size_t position) const {
    return toShiftJis(wideText(position));
}

bool InvokeArguments::boolean(std::size_t position) const {
    UINT index = 0;
    const VARIANT& value = required(position, &index);
    VARIANT_BOOL flag = 0;
    if (value.vt == VT_BOOL) {
        flag = value.boolVal;
    } else if (value.vt == (VT_BYREF | VT_BOOL)) {
        flag = *value.pboolVal;
    } else {
        throw InvokeFailure{DISP_E_TYPEMISMATCH, index};
    }
    // An automation boolean is all bits set or none.
    if (flag != VARIANT_TRUE && flag != VARIANT_FALSE)
        throw InvokeFailure{DISP_E_TYPEMISMATCH, index};
    return flag == VARIANT_TRUE;
}

int InvokeArguments::integer(std::size_t position) const {
    UINT index = 0;
    const VARIANT& value = required(position, &index);
    switch (value.vt) {
        case VT_I4:
            return value.lVal;
        case VT_I2:
            return value.iVal;
        case VT_BYREF | VT_I4:
            return *value.plVal;
        case VT_BYREF | VT_I2:
            return *value.piVal;
        default:
            throw InvokeFailure{DISP_E_TYPEMISMATCH, index};
    }
}

IDispatch* InvokeArguments::object(std::size_t position) const {
    UINT index = 0;
    const VARIANT& value = required(position, &index);
    if (value.vt == VT_DISPATCH && value.pdispVal != nullptr)
        return value.pdispVal;
    if (value.vt == (VT_BYREF | VT_DISPATCH) && value.ppdispVal != nullptr && *value.ppdispVal) {
        return *value.ppdispVal;
    }
    throw InvokeFailure{DISP_E_TYPEMISMATCH, index};
}

std::wstring InvokeArguments::describe(const std::vector<std::wstring>& names) const {
    std::wstring line;
    auto add = [&line](const std::wstring& item) {
        if (!line.empty())
            line += L", ";
        line += item;
    };
    if (propertyPut_)
        return L"=" + typeName(parameters_.rgvarg[0]);
    for (std::size_t i = 0; i < positional_; ++i) {
        add(L"#" + std::to_wstring(i + 1) + L":" +
            typeName(parameters_.rgvarg[parameters_.cArgs - 1 - i]));
    }
    // Named arguments in call order: DISPPARAMS lists them last first.
    for (UINT i = parameters_.cNamedArgs; i-- > 0;) {
        const auto position = static_cast<std::size_t>(parameters_.rgdispidNamedArgs[i]);
        add(names.at(position) + L":" + typeName(parameters_.rgvarg[i]));
    }
    return L"(" + line + L")";
}

}  // namespace kovrisk::testing
