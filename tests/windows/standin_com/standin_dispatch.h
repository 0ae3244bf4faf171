// The common part of every object of the stand-in "Excel.Application" server: reference
// counting, name lookup and Invoke with strict argument checking.  Failures of the stand-in come
// back as DISP_E_EXCEPTION with the stand-in's text as the EXCEPINFO description.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "standin_com/invoke_arguments.h"
#include "standin_com/standin_server.h"
#include "workbook/excel_com/unique_variant.h"

namespace kovrisk::testing {

// Asked for through QueryInterface, an object of this server hands out itself: how a call that
// takes one of the server's objects as an argument (Add's After) finds it again.
// {A5C0F1D2-7B34-4E61-9C8D-2F1E0B3A4D57}
inline constexpr IID kStandinObjectIid = {
    0xa5c0f1d2, 0x7b34, 0x4e61, {0x9c, 0x8d, 0x2f, 0x1e, 0x0b, 0x3a, 0x4d, 0x57}};

enum Access : unsigned { kMethod = 1, kGet = 2, kPut = 4 };

struct MemberSpec {
    std::wstring name;
    unsigned access;
    std::vector<std::wstring> parameters;  // by position; named arguments use these names
};

class StandinDispatch : public IDispatch {
public:
    StandinDispatch(std::shared_ptr<StandinServer> server, std::wstring objectName,
                    const std::vector<MemberSpec>& members);
    virtual ~StandinDispatch();
    StandinDispatch(const StandinDispatch&) = delete;
    StandinDispatch& operator=(const StandinDispatch&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

    // How many objects of the server are alive in this process.
    static long liveObjects();

protected:
    // Runs member `index` of the table; `put` for a property put.
    virtual UniqueVariant run(std::size_t index, bool put, const InvokeArguments& arguments) = 0;

    // Results.
    static UniqueVariant objectResult(
        StandinDispatch* created);  // takes the new object's reference
    static UniqueVariant textResult(const std::string& shiftJis);
    static UniqueVariant integerResult(int value);
    static UniqueVariant booleanResult(bool value);

    const std::shared_ptr<StandinServer>& server() const { return server_; }
    // A new object of the same application as this one: it keeps the application object alive,
    // as every object of Excel does.  Takes the new object's reference.
    UniqueVariant child(StandinDispatch* created) const;
    // The server's own object behind an object argument, or nullptr.
    static StandinDispatch* ours(IDispatch* object);

private:
    std::atomic<ULONG> references_{1};
    // The application object this one belongs to; null for the application object itself.
    IDispatch* application_ = nullptr;
    std::shared_ptr<StandinServer> server_;
    std::wstring objectName_;
    const std::vector<MemberSpec>& members_;
};

}  // namespace kovrisk::testing
