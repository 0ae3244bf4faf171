#include "workbook/excel_com/excel_application_factory.h"

#include <objbase.h>

#include "workbook/excel_com/com_error.h"
#include "workbook/excel_com/excel_objects.h"

namespace kovrisk {

namespace {

class ExcelApplicationFactory : public ApplicationFactory {
public:
    std::unique_ptr<Application> create() override {
        CLSID classId{};
        HRESULT status = ::CLSIDFromProgID(L"Excel.Application", &classId);
        if (FAILED(status))
            throw statusError(status);
        ComPtr<IDispatch> application;
        status = ::CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                                    IID_IDispatch, application.putVoid());
        if (FAILED(status))
            throw statusError(status);
        return std::make_unique<ExcelApplication>(Dispatch(std::move(application)));
    }
};

}  // namespace

std::unique_ptr<ApplicationFactory> makeExcelApplicationFactory() {
    return std::make_unique<ExcelApplicationFactory>();
}

}  // namespace kovrisk
