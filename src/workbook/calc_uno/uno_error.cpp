#include "workbook/calc_uno/uno_error.h"

#include <cppuhelper/exc_hlp.hxx>

#include "workbook/calc_uno/uno_text.h"

namespace kovrisk {

std::string caughtUnoErrorText() {
    const com::sun::star::uno::Any caught = cppu::getCaughtException();
    com::sun::star::uno::Exception exception;
    rtl::OUString text;
    if (caught >>= exception)
        text = exception.Message;
    sal_Int32 end = text.getLength();
    while (end > 0 && (text[end - 1] <= u' ' || text[end - 1] == u'.'))
        --end;
    text = text.copy(0, end);
    if (text.isEmpty())
        text = caught.getValueTypeName();
    return fromUno(text);
}

}  // namespace kovrisk
