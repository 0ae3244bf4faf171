// One argument of a late-bound call, owning whatever it passes.
#pragma once

#include <oaidl.h>

#include <string>
#include <string_view>

#include "platform/files.h"
#include "workbook/excel_com/unique_variant.h"

namespace kovrisk {

class DispatchArgument {
public:
    // Shift-JIS text, as an OLE string converted the way Windows converts code page 932.
    static DispatchArgument text(std::string_view shiftJis);
    static DispatchArgument textByRef(std::string_view shiftJis);
    static DispatchArgument pathByRef(const NativePath& path);
    // An automation boolean: VARIANT_TRUE or VARIANT_FALSE.
    static DispatchArgument boolean(bool value);
    static DispatchArgument integer(int value);
    // An optional argument left out, passed by reference.
    static DispatchArgument omittedByRef();
    // An object, passed by value; the argument holds a reference of its own.
    static DispatchArgument object(IDispatch* object);

    // What goes into DISPPARAMS: a copy of the value, or a reference to it.  Valid while this
    // argument lives and is not moved.
    VARIANT passed();

private:
    DispatchArgument(UniqueVariant value, bool byRef) : value_(std::move(value)), byRef_(byRef) {}

    UniqueVariant value_;
    bool byRef_;
};

// A named argument: its name, looked up with the member, and its value.
struct NamedArgument {
    std::wstring name;
    DispatchArgument value;
};

}  // namespace kovrisk
