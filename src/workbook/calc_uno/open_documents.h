// The workbooks one application object has opened and not closed yet.
#pragma once

#include <com/sun/star/frame/XModel.hpp>

#include <vector>

namespace kovrisk {

class OpenDocuments {
public:
    void add(const com::sun::star::uno::Reference<com::sun::star::frame::XModel>& document);
    void forget(const com::sun::star::uno::Reference<com::sun::star::frame::XModel>& document);
    void forgetAll() { documents_.clear(); }
    const std::vector<com::sun::star::uno::Reference<com::sun::star::frame::XModel>>& all() const {
        return documents_;
    }
    // Closes every one without saving; failures are passed over (the office is ended anyway when
    // a document will not close).
    void closeAll() noexcept;

private:
    std::vector<com::sun::star::uno::Reference<com::sun::star::frame::XModel>> documents_;
};

// Closes `document` without saving.  Throws AutomationError.
void closeWithoutSaving(
    const com::sun::star::uno::Reference<com::sun::star::uno::XInterface>& document);

}  // namespace kovrisk
