// An automation object driven late-bound through IDispatch: every call looks up its member and
// its named arguments by name, then invokes, in the locale Excel's English member names belong
// to.  A call Excel turns away while it is busy is made again for up to `patience`; every other
// failure, and a refusal that outlasts the patience, becomes an AutomationError.  A call that
// outlasts the bound of the ExcelWatch given ends that Excel, and fails saying so; no call goes to
// an Excel that was ended.
#pragma once

#include <oaidl.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/excel_com/busy_retry.h"
#include "workbook/excel_com/com_ptr.h"
#include "workbook/excel_com/dispatch_argument.h"
#include "workbook/excel_com/excel_watch.h"
#include "workbook/excel_com/unique_variant.h"

namespace kovrisk {

class Dispatch {
public:
    explicit Dispatch(ComPtr<IDispatch> object, std::chrono::milliseconds patience = kBusyPatience,
                      ExcelWatch* watch = nullptr);

    // A method call, or a property read with arguments ("get"); positional arguments first, then
    // the named ones, each group in call order.
    UniqueVariant call(std::wstring_view member, std::vector<DispatchArgument> positional = {},
                       std::vector<NamedArgument> named = {});
    // A property write (DISPATCH_PROPERTYPUT).
    void put(std::wstring_view member, DispatchArgument value);

    // Results used as an object, text or integer.
    Dispatch object(std::wstring_view member, std::vector<DispatchArgument> positional = {});
    std::string text(std::wstring_view member);
    int integer(std::wstring_view member);

    IDispatch* get() const { return object_.get(); }
    ExcelWatch* watch() const { return watch_; }

    // The object a result holds; "not an object" for anything else.
    static Dispatch fromResult(UniqueVariant result,
                               std::chrono::milliseconds patience = kBusyPatience,
                               ExcelWatch* watch = nullptr);
    // The same, with this object's patience and watch.
    Dispatch objectOf(UniqueVariant result) const {
        return fromResult(std::move(result), patience_, watch_);
    }

private:
    UniqueVariant invoke(std::wstring_view member, WORD flags,
                         std::vector<DispatchArgument>& positional,
                         std::vector<NamedArgument>& named, bool propertyPut);

    // Throws when the watch ended Excel, or ends it when the bound has passed.
    void checkWatch(bool afterFailure) const;

    ComPtr<IDispatch> object_;
    std::chrono::milliseconds patience_;
    ExcelWatch* watch_;
};

// The locale of every call: United States English, whose member names the calls use.  Excel
// refuses another locale whose language resources are not installed ("Old format or invalid type
// library").
inline constexpr LCID kAutomationLocale = 0x0409;

}  // namespace kovrisk
