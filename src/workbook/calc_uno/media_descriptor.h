// Entries of UNO media descriptors (the property lists given to load and store calls).
#pragma once

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>

namespace kovrisk {

inline com::sun::star::beans::PropertyValue property(const char* name,
                                                     const com::sun::star::uno::Any& value) {
    com::sun::star::beans::PropertyValue result;
    result.Name = rtl::OUString::createFromAscii(name);
    result.Value = value;
    return result;
}

}  // namespace kovrisk
