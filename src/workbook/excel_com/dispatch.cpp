#include "workbook/excel_com/dispatch.h"

#include "platform/text_codec.h"
#include "support/texts.h"
#include "workbook/excel_com/com_error.h"

namespace kovrisk {

namespace {

// The member first, then the named arguments, as GetIDsOfNames wants them.
std::vector<DISPID> lookUp(IDispatch* object, std::wstring_view member,
                           const std::vector<NamedArgument>& named,
                           std::chrono::milliseconds patience, const ExcelWatch* watch) {
    std::vector<std::wstring> names{std::wstring(member)};
    for (const NamedArgument& argument : named)
        names.push_back(argument.name);
    std::vector<LPOLESTR> pointers;
    for (std::wstring& name : names)
        pointers.push_back(name.data());
    std::vector<DISPID> ids(names.size(), DISPID_UNKNOWN);
    const HRESULT status = retryWhileBusy(
        [&] {
            return object->GetIDsOfNames(IID_NULL, pointers.data(),
                                         static_cast<UINT>(pointers.size()), kAutomationLocale,
                                         ids.data());
        },
        patience, [watch] { return watch != nullptr && watch->passed(); });
    if (status == DISP_E_UNKNOWNNAME)
        throw missingMemberError(member);
    if (FAILED(status))
        throw statusError(status);
    return ids;
}

}  // namespace

Dispatch::Dispatch(ComPtr<IDispatch> object, std::chrono::milliseconds patience, ExcelWatch* watch)
    : object_(std::move(object)), patience_(patience), watch_(watch) {
    if (!object_)
        throw notAnObjectError();
}

UniqueVariant Dispatch::call(std::wstring_view member, std::vector<DispatchArgument> positional,
                             std::vector<NamedArgument> named) {
    return invoke(member, DISPATCH_METHOD | DISPATCH_PROPERTYGET, positional, named, false);
}

void Dispatch::put(std::wstring_view member, DispatchArgument value) {
    std::vector<DispatchArgument> positional;
    positional.push_back(std::move(value));
    std::vector<NamedArgument> named;
    invoke(member, DISPATCH_PROPERTYPUT, positional, named, true);
}

Dispatch Dispatch::object(std::wstring_view member, std::vector<DispatchArgument> positional) {
    return objectOf(call(member, std::move(positional)));
}

std::string Dispatch::text(std::wstring_view member) {
    UniqueVariant result = call(member);
    UniqueVariant converted;
    const HRESULT status = ::VariantChangeType(converted.put(), &result.get(), 0, VT_BSTR);
    if (FAILED(status))
        throw statusError(status);
    const BSTR bstr = converted.get().bstrVal;
    return toShiftJis(NativeString(bstr == nullptr ? L"" : bstr, ::SysStringLen(bstr)));
}

int Dispatch::integer(std::wstring_view member) {
    UniqueVariant result = call(member);
    UniqueVariant converted;
    const HRESULT status = ::VariantChangeType(converted.put(), &result.get(), 0, VT_I4);
    if (FAILED(status))
        throw statusError(status);
    return converted.get().lVal;
}

Dispatch Dispatch::fromResult(UniqueVariant result, std::chrono::milliseconds patience,
                              ExcelWatch* watch) {
    VARIANT& value = result.get();
    if (value.vt != VT_DISPATCH || value.pdispVal == nullptr)
        throw notAnObjectError();
    return Dispatch(ComPtr<IDispatch>::share(value.pdispVal), patience, watch);
}

void Dispatch::checkWatch(bool afterFailure) const {
    if (watch_ == nullptr)
        return;
    if (watch_->ended() || (afterFailure && watch_->passed() && watch_->endExcel()))
        throw AutomationError(std::string(texts::kExcelTookTooLong));
}

UniqueVariant Dispatch::invoke(std::wstring_view member, WORD flags,
                               std::vector<DispatchArgument>& positional,
                               std::vector<NamedArgument>& named, bool propertyPut) {
    checkWatch(false);
    std::vector<DISPID> ids;
    try {
        ids = lookUp(object_.get(), member, named, patience_, watch_);
    } catch (const AutomationError&) {
        checkWatch(true);
        throw;
    }

    // DISPPARAMS lists the arguments from last to first: the named ones (last named first), then
    // the positional ones.
    std::vector<VARIANT> arguments;
    std::vector<DISPID> namedIds;
    for (std::size_t i = named.size(); i-- > 0;) {
        arguments.push_back(named[i].value.passed());
        namedIds.push_back(ids[i + 1]);
    }
    for (std::size_t i = positional.size(); i-- > 0;)
        arguments.push_back(positional[i].passed());
    DISPID putId = DISPID_PROPERTYPUT;

    DISPPARAMS parameters{};
    parameters.rgvarg = arguments.empty() ? nullptr : arguments.data();
    parameters.cArgs = static_cast<UINT>(arguments.size());
    if (propertyPut) {
        parameters.rgdispidNamedArgs = &putId;
        parameters.cNamedArgs = 1;
    } else {
        parameters.rgdispidNamedArgs = namedIds.empty() ? nullptr : namedIds.data();
        parameters.cNamedArgs = static_cast<UINT>(namedIds.size());
    }

    UniqueVariant result;
    EXCEPINFO exception{};
    UINT argumentError = 0;
    const HRESULT status = retryWhileBusy(
        [&] {
            // A refused call left nothing behind; what an earlier try filled in goes first.
            exception = EXCEPINFO{};
            return object_->Invoke(ids.front(), IID_NULL, kAutomationLocale, flags, &parameters,
                                   propertyPut ? nullptr : result.put(), &exception,
                                   &argumentError);
        },
        patience_, [this] { return watch_ != nullptr && watch_->passed(); });
    if (FAILED(status)) {
        AutomationError error = invokeError(status, exception);
        checkWatch(true);
        throw error;
    }
    return result;
}

}  // namespace kovrisk
