// The stand-in spreadsheet application behind IDispatch in this process: the program's COM client
// talking to a strict automation server, with both records of the server at hand.
#pragma once

#include <chrono>
#include <memory>

#include "standin_com/standin_objects.h"
#include "workbook/excel_com/excel_application_factory.h"
#include "workbook/excel_com/excel_objects.h"

namespace kovrisk::testing {

class ComStandin : public ApplicationFactory {
public:
    std::unique_ptr<Application> create() override {
        IDispatch* application =
            makeStandinApplicationDispatch(server, server->application().create());
        return std::make_unique<ExcelApplication>(
            Dispatch(ComPtr<IDispatch>::attach(application), patience));
    }
    std::size_t longestPath() const override { return kExcelLongestPath; }
    // A bare application object, for driving members by name.
    Dispatch dispatch() {
        return Dispatch(ComPtr<IDispatch>::attach(
                            makeStandinApplicationDispatch(server, server->application().create())),
                        patience);
    }
    StandinApplicationFactory& standin() { return server->application(); }

    std::shared_ptr<StandinServer> server = std::make_shared<StandinServer>();
    // How long a call the busy stand-in turns away is tried again.
    std::chrono::milliseconds patience = kBusyPatience;
};

}  // namespace kovrisk::testing
