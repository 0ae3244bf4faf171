#include "workbook/calc_uno/uno_error.h"

#include <cppuhelper/exc_hlp.hxx>

#include "support/error_text.h"
#include "workbook/calc_uno/uno_text.h"

namespace kovrisk {

std::string caughtUnoErrorText() {
    const com::sun::star::uno::Any caught = cppu::getCaughtException();
    com::sun::star::uno::Exception exception;
    rtl::OUString text;
    if (caught >>= exception)
        text = exception.Message;
    const std::u16string_view kept =
        trimmedErrorText(std::u16string_view(reinterpret_cast<const char16_t*>(text.getStr()),
                                             static_cast<std::size_t>(text.getLength())));
    text = text.copy(0, static_cast<sal_Int32>(kept.size()));
    if (text.isEmpty())
        text = caught.getValueTypeName();
    return fromUno(text);
}

}  // namespace kovrisk
