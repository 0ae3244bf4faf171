// The import filter a document was loaded with.
#pragma once

#include <com/sun/star/frame/XModel.hpp>

#include <string>

namespace kovrisk {

// Its name, empty when the document does not say.  Throws UNO exceptions.
std::string loadedFilter(
    const com::sun::star::uno::Reference<com::sun::star::frame::XModel>& model);

}  // namespace kovrisk
