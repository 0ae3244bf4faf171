#include "workbook/calc_uno/load_warnings.h"

#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/task/XInteractionContinuation.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>

namespace kovrisk {

namespace css = com::sun::star;

namespace {

template <typename Continuation>
bool selectFirst(
    const css::uno::Sequence<css::uno::Reference<css::task::XInteractionContinuation>>& offered) {
    for (const auto& continuation : offered) {
        if (css::uno::Reference<Continuation>(continuation, css::uno::UNO_QUERY).is()) {
            continuation->select();
            return true;
        }
    }
    return false;
}

}  // namespace

void LoadWarnings::handle(const css::uno::Reference<css::task::XInteractionRequest>& request) {
    const css::uno::Any what = request->getRequest();
    const auto offered = request->getContinuations();
    if (cppu::UnoType<css::task::PasswordRequest>::get().isAssignableFrom(what.getValueType())) {
        selectFirst<css::task::XInteractionAbort>(offered);
        return;
    }
    // The office's lock file beside the workbook is held by another office, or cannot be made (a
    // folder that cannot be written, a name too long for it): the file opens read-only, which
    // tells the lock that it cannot be written.
    const rtl::OUString type = what.getValueTypeName();
    if (type.startsWith("com.sun.star.document.Lock") ||
        type.startsWith("com.sun.star.document.OwnLock")) {
        // Held by another office, as against a lock file that cannot be made or read.
        if (type == "com.sun.star.document.LockedDocumentRequest" ||
            type == "com.sun.star.document.OwnLockOnDocumentRequest") {
            heldElsewhere_ = true;
        }
        selectFirst<css::task::XInteractionApprove>(offered);
        return;
    }
    warned_ = true;
    // Going on where that is offered; otherwise no choice, which takes the defaults (the import
    // options of a web page or a text file) or ends the load.
    selectFirst<css::task::XInteractionApprove>(offered);
}

}  // namespace kovrisk
