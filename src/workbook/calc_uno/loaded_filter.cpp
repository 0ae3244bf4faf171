#include "workbook/calc_uno/loaded_filter.h"

#include <com/sun/star/beans/PropertyValue.hpp>

namespace kovrisk {

std::string loadedFilter(
    const com::sun::star::uno::Reference<com::sun::star::frame::XModel>& model) {
    for (const auto& argument : model->getArgs()) {
        rtl::OUString filter;
        if (argument.Name == "FilterName" && (argument.Value >>= filter)) {
            return rtl::OUStringToOString(filter, RTL_TEXTENCODING_UTF8).getStr();
        }
    }
    return {};
}

}  // namespace kovrisk
