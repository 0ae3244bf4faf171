#include "workbook/excel_com/excel_application_factory.h"

#include <objbase.h>

#include "workbook/excel_com/com_error.h"
#include "workbook/excel_com/excel_objects.h"

namespace kovrisk {

namespace {

class ExcelApplicationFactory : public ApplicationFactory {
public:
    ExcelApplicationFactory(std::chrono::milliseconds patience, ExcelWatch* watch)
        : patience_(patience), watch_(watch) {}

    std::size_t longestPath() const override { return kExcelLongestPath; }

    std::unique_ptr<Application> create() override {
        // The bound of the operation runs from the start of its Excel.
        if (watch_ != nullptr)
            watch_->start();
        CLSID classId{};
        HRESULT status = ::CLSIDFromProgID(L"Excel.Application", &classId);
        if (FAILED(status))
            throw statusError(status);
        ComPtr<IDispatch> application;
        status = retryWhileBusy(
            [&] {
                return ::CoCreateInstance(classId, nullptr,
                                          CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                          application.putVoid());
            },
            patience_);
        if (FAILED(status))
            throw statusError(status);
        auto excel =
            std::make_unique<ExcelApplication>(Dispatch(std::move(application), patience_, watch_));
        excel->followProcess();
        return excel;
    }

private:
    std::chrono::milliseconds patience_;
    ExcelWatch* watch_;
};

}  // namespace

std::unique_ptr<ApplicationFactory> makeExcelApplicationFactory(std::chrono::milliseconds patience,
                                                                ExcelWatch* watch) {
    return std::make_unique<ExcelApplicationFactory>(patience, watch);
}

}  // namespace kovrisk
