// The stand-in spreadsheet application behind IDispatch in this process: the program's COM client
// talking to a strict automation server, with both records of the server at hand.
#pragma once

#include <memory>

#include "standin_com/standin_objects.h"
#include "workbook/excel_com/excel_objects.h"

namespace kovrisk::testing {

class ComStandin : public ApplicationFactory {
public:
    std::unique_ptr<Application> create() override {
        IDispatch* application =
            makeStandinApplicationDispatch(server, server->application().create());
        return std::make_unique<ExcelApplication>(Dispatch(ComPtr<IDispatch>::attach(application)));
    }
    // A bare application object, for driving members by name.
    Dispatch dispatch() {
        return Dispatch(ComPtr<IDispatch>::attach(
            makeStandinApplicationDispatch(server, server->application().create())));
    }
    StandinApplicationFactory& standin() { return server->application(); }

    std::shared_ptr<StandinServer> server = std::make_shared<StandinServer>();
};

}  // namespace kovrisk::testing
