#include "workbook/excel_com/excel_application_factory.h"

#include <objbase.h>

#include "workbook/excel_com/com_error.h"
#include "workbook/excel_com/excel_objects.h"

namespace kovrisk {

namespace {

class ExcelApplicationFactory : public ApplicationFactory {
public:
    explicit ExcelApplicationFactory(std::chrono::milliseconds patience) : patience_(patience) {}

    std::size_t longestPath() const override { return kExcelLongestPath; }

    std::unique_ptr<Application> create() override {
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
        return std::make_unique<ExcelApplication>(Dispatch(std::move(application), patience_));
    }

private:
    std::chrono::milliseconds patience_;
};

}  // namespace

std::unique_ptr<ApplicationFactory> makeExcelApplicationFactory(
    std::chrono::milliseconds patience) {
    return std::make_unique<ExcelApplicationFactory>(patience);
}

}  // namespace kovrisk
