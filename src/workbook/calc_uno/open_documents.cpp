#include "workbook/calc_uno/open_documents.h"

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <algorithm>

#include "workbook/calc_uno/uno_error.h"

namespace kovrisk {

namespace css = com::sun::star;

void OpenDocuments::add(const css::uno::Reference<css::frame::XModel>& document) {
    documents_.push_back(document);
}

void OpenDocuments::forget(const css::uno::Reference<css::frame::XModel>& document) {
    std::erase(documents_, document);
}

void OpenDocuments::closeAll() noexcept {
    for (const auto& document : documents_) {
        try {
            closeWithoutSaving(document);
        } catch (...) {
        }
    }
    documents_.clear();
}

void closeWithoutSaving(const css::uno::Reference<css::uno::XInterface>& document) {
    unoCall([&] {
        css::uno::Reference<css::util::XCloseable> closeable(document, css::uno::UNO_QUERY);
        if (closeable.is()) {
            try {
                closeable->close(true);
            } catch (const css::util::CloseVetoException&) {
                // Whoever vetoed now owns the document and closes it when done.
            }
            return;
        }
        css::uno::Reference<css::lang::XComponent> component(document, css::uno::UNO_QUERY_THROW);
        component->dispose();
    });
}

}  // namespace kovrisk
