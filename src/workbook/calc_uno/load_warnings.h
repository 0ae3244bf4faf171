// The interaction handler a workbook is loaded with: nobody is there to answer, so it answers
// every request itself and notes what came.  A password request is declined, so that a wrong
// password fails the load at once; a request about the office's lock file lets the load go on,
// read-only; any other request (an import warning, an offer to repair a
// damaged file, import options) is accepted where it can be, so that the load goes on, and noted:
// the document may not be the whole file.
#pragma once

#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>

namespace kovrisk {

class LoadWarnings : public cppu::WeakImplHelper1<com::sun::star::task::XInteractionHandler> {
public:
    void SAL_CALL
    handle(const com::sun::star::uno::Reference<com::sun::star::task::XInteractionRequest>& request)
        override;

    // Whether anything but a password or lock-file request came.
    bool warned() const { return warned_; }
    // Whether the lock file said that another office (of this user or another) has the file open.
    bool heldElsewhere() const { return heldElsewhere_; }

private:
    bool warned_ = false;
    bool heldElsewhere_ = false;
};

}  // namespace kovrisk
