#include "workbook/calc_uno/users_load.h"

#include <com/sun/star/document/MacroExecMode.hpp>
#include <com/sun/star/document/UpdateDocMode.hpp>
#include <com/sun/star/task/InteractionHandler.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <cppuhelper/implbase1.hxx>

#include "platform/posix/home_folder.h"
#include "workbook/calc_uno/media_descriptor.h"
#include "workbook/calc_uno/uno_text.h"
#include "workbook/calc_uno/users_macro_security.h"

namespace kovrisk {

namespace css = com::sun::star;

namespace {

// The office's own dialogs answer, through the user, every request but one for a password: the
// password given opened the workbook a moment ago, and the user does not know it.
class UsersInteraction : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
public:
    explicit UsersInteraction(css::uno::Reference<css::task::XInteractionHandler> office)
        : office_(std::move(office)) {}

    void SAL_CALL
    handle(const css::uno::Reference<css::task::XInteractionRequest>& request) override {
        if (cppu::UnoType<css::task::PasswordRequest>::get().isAssignableFrom(
                request->getRequest().getValueType())) {
            for (const auto& continuation : request->getContinuations()) {
                if (css::uno::Reference<css::task::XInteractionAbort>(continuation,
                                                                      css::uno::UNO_QUERY)
                        .is()) {
                    continuation->select();
                    return;
                }
            }
            return;
        }
        office_->handle(request);
    }

private:
    css::uno::Reference<css::task::XInteractionHandler> office_;
};

}  // namespace

std::vector<css::beans::PropertyValue> usersLoadArguments(
    const css::uno::Reference<css::uno::XComponentContext>& context, const NativePath& fileName,
    const std::string& password, bool usersMacroSettings, std::string& notice) {
    sal_Int16 macros = css::document::MacroExecMode::NEVER_EXECUTE;
    notice.clear();
    if (usersMacroSettings) {
        // What an administrator fixed holds in the user's office as well: the office's own
        // configuration decides then.
        if (macroSecurityFixed(context)) {
            macros = css::document::MacroExecMode::USE_CONFIG;
        } else {
            const UsersMacroSecurity security =
                readUsersMacroSecurity(usersRegistryModifications());
            notice = security.notUnderstood;
            macros = macroExecModeFor(security, fileName, userHomeFolder());
        }
    }
    const css::uno::Reference<css::task::XInteractionHandler> office(
        css::task::InteractionHandler::createWithParent(context, nullptr),
        css::uno::UNO_QUERY_THROW);
    const css::uno::Reference<css::task::XInteractionHandler> handler(new UsersInteraction(office));
    std::vector<css::beans::PropertyValue> arguments = {
        property("Hidden", css::uno::Any(true)),
        property("MacroExecutionMode", css::uno::Any(macros)),
        property("UpdateDocMode", css::uno::Any(css::document::UpdateDocMode::NO_UPDATE)),
        property("InteractionHandler", css::uno::Any(handler)),
    };
    if (!password.empty())
        arguments.push_back(property("Password", css::uno::Any(toUno(password))));
    return arguments;
}

}  // namespace kovrisk
