#include "workbook/calc_uno/uno_client.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "workbook/calc_uno/uno_error.h"

namespace kovrisk {

namespace css = com::sun::star;

UnoClient::UnoClient() {
    // The URE finds its type and service registries through the office's fundamentalrc: without
    // them the bridge has no type descriptions and crashes on the first call.  Set as a bootstrap
    // value rather than in the environment, which the office inherits.
    rtl::Bootstrap::set("URE_BOOTSTRAP",
                        "vnd.sun.star.pathname:" KOVRISK_OFFICE_PROGRAM_DIR "/fundamentalrc");
    unoCall([&] {
        local_ = cppu::defaultBootstrap_InitialComponentContext();
        resolver_ = css::bridge::UnoUrlResolver::create(local_);
    });
}

UnoClient& UnoClient::instance() {
    // Never destroyed: bridges may still be winding down while the process exits.
    static UnoClient* const client = new UnoClient();
    return *client;
}

css::uno::Reference<css::uno::XComponentContext> UnoClient::connect(const std::string& pipeName) {
    return unoCall([&]() -> css::uno::Reference<css::uno::XComponentContext> {
        try {
            const rtl::OUString url =
                "uno:pipe,name=" + rtl::OUString::createFromAscii(pipeName.c_str()) +
                ";urp;StarOffice.ComponentContext";
            return css::uno::Reference<css::uno::XComponentContext>(resolver_->resolve(url),
                                                                    css::uno::UNO_QUERY_THROW);
        } catch (const css::connection::NoConnectException&) {
            return {};
        }
    });
}

void UnoClient::closeBridge(const std::string& pipeName) noexcept {
    try {
        // The bridge factory is one per process: the one the resolver made the bridge with.
        const auto factory = css::bridge::BridgeFactory::create(local_);
        const rtl::OUString name = rtl::OUString::createFromAscii(pipeName.c_str());
        for (const auto& bridge : factory->getExistingBridges()) {
            if (bridge.is() && bridge->getDescription().indexOf(name) >= 0) {
                const css::uno::Reference<css::lang::XComponent> component(bridge,
                                                                           css::uno::UNO_QUERY);
                if (component.is())
                    component->dispose();
            }
        }
    } catch (...) {
        // Nothing more can be done for it: the process ends as it would have.
    }
}

}  // namespace kovrisk
