#include "standin_com/standin_dispatch.h"

#include <cwchar>

#include "platform/text_codec.h"
#include "workbook/automation.h"
#include "workbook/excel_com/unique_bstr.h"

namespace kovrisk::testing {

namespace {

std::atomic<long> gLiveObjects{0};

// The locale Excel's English member names belong to; the stand-in has resources for no other.
constexpr LCID kEnglishUnitedStates = 0x0409;

// Excel's own code for a failed method of an object (xlErrValue as an automation error).
constexpr SCODE kApplicationError = static_cast<SCODE>(0x800A03EC);

bool sameName(const std::wstring& name, const wchar_t* asked) {
    return ::CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), asked, -1, TRUE) ==
           CSTR_EQUAL;
}

std::wstring hex(HRESULT status) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%08lx", static_cast<unsigned long>(status));
    return text;
}

}  // namespace

StandinDispatch::StandinDispatch(std::shared_ptr<StandinServer> server, std::wstring objectName,
                                 const std::vector<MemberSpec>& members)
    : server_(std::move(server)), objectName_(std::move(objectName)), members_(members) {
    ++gLiveObjects;
}

StandinDispatch::~StandinDispatch() {
    --gLiveObjects;
    if (application_ != nullptr)
        application_->Release();
}

UniqueVariant StandinDispatch::child(StandinDispatch* created) const {
    IDispatch* application =
        application_ != nullptr ? application_ : const_cast<StandinDispatch*>(this);
    application->AddRef();
    created->application_ = application;
    return objectResult(created);
}

long StandinDispatch::liveObjects() {
    return gLiveObjects;
}

HRESULT STDMETHODCALLTYPE StandinDispatch::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == kStandinObjectIid) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE StandinDispatch::AddRef() {
    return ++references_;
}

ULONG STDMETHODCALLTYPE StandinDispatch::Release() {
    const ULONG left = --references_;
    if (left == 0)
        delete this;
    return left;
}

HRESULT STDMETHODCALLTYPE StandinDispatch::GetTypeInfoCount(UINT* count) {
    if (count == nullptr)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE StandinDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr)
        *info = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT STDMETHODCALLTYPE StandinDispatch::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count,
                                                         LCID locale, DISPID* ids) {
    if (server_->inProcess() && server_->busy()) {
        server_->rejected();
        return RPC_E_CALL_REJECTED;
    }
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (locale != kEnglishUnitedStates) {
        server_->wire(objectName_ + L"!locale " + hex(static_cast<HRESULT>(locale)));
        server_->flush();
        return TYPE_E_INVDATAREAD;
    }
    if (count == 0 || names == nullptr || ids == nullptr)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    const MemberSpec* member = nullptr;
    for (std::size_t m = 0; m < members_.size(); ++m) {
        if (sameName(members_[m].name, names[0])) {
            member = &members_[m];
            ids[0] = static_cast<DISPID>(m + 1);
        }
    }
    if (member == nullptr)
        return DISP_E_UNKNOWNNAME;
    bool allKnown = true;
    // A named argument's DISPID is its parameter's position.
    for (UINT i = 1; i < count; ++i) {
        for (std::size_t p = 0; p < member->parameters.size(); ++p) {
            if (sameName(member->parameters[p], names[i]))
                ids[i] = static_cast<DISPID>(p);
        }
        if (ids[i] == DISPID_UNKNOWN)
            allKnown = false;
    }
    return allKnown ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT STDMETHODCALLTYPE StandinDispatch::Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                                  DISPPARAMS* parameters, VARIANT* result,
                                                  EXCEPINFO* exception, UINT* argumentError) {
    if (server_->inProcess() && server_->busy()) {
        server_->rejected();
        return RPC_E_CALL_REJECTED;
    }
    if (iid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (locale != kEnglishUnitedStates) {
        server_->wire(objectName_ + L"!locale " + hex(static_cast<HRESULT>(locale)));
        server_->flush();
        return TYPE_E_INVDATAREAD;
    }
    if (id < 1 || static_cast<std::size_t>(id) > members_.size())
        return DISP_E_MEMBERNOTFOUND;
    if (parameters == nullptr)
        return E_INVALIDARG;
    const std::size_t index = static_cast<std::size_t>(id) - 1;
    const MemberSpec& member = members_[index];
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const bool allowed = put ? (member.access & kPut) != 0
                             : ((flags & DISPATCH_METHOD) && (member.access & (kMethod | kGet))) ||
                                   ((flags & DISPATCH_PROPERTYGET) && (member.access & kGet));
    const std::wstring label = objectName_ + L"." + member.name;
    if (!allowed) {
        server_->wire(label + L"!" + hex(DISP_E_MEMBERNOTFOUND));
        server_->flush();
        return DISP_E_MEMBERNOTFOUND;
    }
    if (result != nullptr)
        ::VariantInit(result);
    HRESULT status = S_OK;
    try {
        const InvokeArguments arguments(*parameters, member.parameters.size(), put);
        server_->wire(label + arguments.describe(member.parameters));
        UniqueVariant value = run(index, put, arguments);
        if (result != nullptr)
            *result = value.release();
    } catch (const InvokeFailure& failure) {
        server_->wire(label + L"!" + hex(failure.status));
        if (argumentError != nullptr)
            *argumentError = failure.argument;
        status = failure.status;
    } catch (const AutomationError& error) {
        if (exception != nullptr) {
            *exception = EXCEPINFO{};
            exception->scode = kApplicationError;
            exception->bstrSource = UniqueBstr(L"Kovrisk stand-in").release();
            exception->bstrDescription = UniqueBstr(fromShiftJis(error.what())).release();
        }
        status = DISP_E_EXCEPTION;
    } catch (...) {
        status = E_FAIL;
    }
    server_->flush();
    return status;
}

UniqueVariant StandinDispatch::objectResult(StandinDispatch* created) {
    UniqueVariant value;
    value.get().vt = VT_DISPATCH;
    value.get().pdispVal = created;
    return value;
}

UniqueVariant StandinDispatch::textResult(const std::string& shiftJis) {
    UniqueVariant value;
    value.get().vt = VT_BSTR;
    value.get().bstrVal = UniqueBstr(fromShiftJis(shiftJis)).release();
    return value;
}

UniqueVariant StandinDispatch::booleanResult(bool flag) {
    UniqueVariant value;
    value.get().vt = VT_BOOL;
    value.get().boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
    return value;
}

UniqueVariant StandinDispatch::integerResult(int number) {
    UniqueVariant value;
    value.get().vt = VT_I4;
    value.get().lVal = number;
    return value;
}

StandinDispatch* StandinDispatch::ours(IDispatch* object) {
    void* found = nullptr;
    if (object == nullptr || FAILED(object->QueryInterface(kStandinObjectIid, &found))) {
        return nullptr;
    }
    auto* dispatch = static_cast<StandinDispatch*>(static_cast<IDispatch*>(found));
    dispatch->Release();  // the caller's argument keeps it alive for the call
    return dispatch;
}

}  // namespace kovrisk::testing
