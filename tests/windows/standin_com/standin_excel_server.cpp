// The stand-in "Excel.Application" as an out-of-process COM server (LocalServer32), so that every
// call is marshalled between processes as it is with Excel:
//
//   standin_excel_server.exe /regserver     registers it under the machine's classes
//   standin_excel_server.exe /unregserver   removes that
//   standin_excel_server.exe -Embedding     how COM starts it: serves one application object
//
// As Excel does, each application object lives in a process of its own (the class object serves
// one creation, then is withdrawn), the process ends when the last reference to it is gone, and
// an application handed to the user (visible, under the user's control) stays with its window.
// While the stand-in is busy its message filter turns incoming IDispatch calls away outright
// (SERVERCALL_REJECTED).  Settings come from the environment, as standin_server.h describes.
#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>

#include "standin_com/standin_objects.h"
#include "workbook/automation.h"

namespace {

using kovrisk::testing::StandinServer;

// {4F1B6C3E-8D2A-4B7F-A1E5-93C07D6B2E18}
constexpr CLSID kStandinClassId = {
    0x4f1b6c3e, 0x8d2a, 0x4b7f, {0xa1, 0xe5, 0x93, 0xc0, 0x7d, 0x6b, 0x2e, 0x18}};
constexpr wchar_t kClassIdText[] = L"{4F1B6C3E-8D2A-4B7F-A1E5-93C07D6B2E18}";
constexpr wchar_t kProgId[] = L"Excel.Application";
constexpr UINT_PTR kLifeTimer = 1;
constexpr UINT kLifeCheck = 100;

// Turns calls away while the server is busy.
class BusyFilter final : public IMessageFilter {
public:
    explicit BusyFilter(StandinServer& server) : server_(server) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IMessageFilter) {
            *object = static_cast<IMessageFilter*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on the server's stack for the whole message loop.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
        if (call != nullptr && call->iid == IID_IDispatch && server_.busy()) {
            server_.rejected();
            return SERVERCALL_REJECTED;
        }
        return SERVERCALL_ISHANDLED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
        return static_cast<DWORD>(-1);
    }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }

private:
    StandinServer& server_;
};

// Creates the one application object of this process.
class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(std::shared_ptr<StandinServer> server) : server_(std::move(server)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override { return --references_; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        if (created_)
            return CO_E_SERVER_STOPPING;
        IDispatch* application = nullptr;
        try {
            application = kovrisk::testing::makeStandinApplicationDispatch(
                server_, server_->application().create());
        } catch (const kovrisk::AutomationError&) {
            // A spreadsheet application that cannot start.
            server_->flush();
            ::PostQuitMessage(0);
            return CO_E_SERVER_EXEC_FAILURE;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        created_ = true;
        // One creation per process: the next one starts another process.
        if (cookie_ != 0)
            ::CoRevokeClassObject(std::exchange(cookie_, 0));
        server_->flush();
        const HRESULT status = application->QueryInterface(iid, object);
        application->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    bool created() const { return created_; }
    void registered(DWORD cookie) { cookie_ = cookie; }
    // Withdraws the class object, if that has not happened yet.
    void revoke() {
        if (cookie_ != 0)
            ::CoRevokeClassObject(std::exchange(cookie_, 0));
    }

private:
    std::shared_ptr<StandinServer> server_;
    DWORD cookie_ = 0;
    std::atomic<ULONG> references_{1};
    bool created_ = false;
};

// Owns an open registry key.
class RegistryKey {
public:
    RegistryKey(HKEY parent, const std::wstring& path) {
        if (::RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key_,
                              nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~RegistryKey() {
        if (key_ != nullptr)
            ::RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    bool set(const wchar_t* name, const std::wstring& value) {
        return key_ != nullptr &&
               ::RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
                   ERROR_SUCCESS;
    }

private:
    HKEY key_ = nullptr;
};

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

int unregister() {
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClassIdText;
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return 0;
}

int registerServer() {
    unregister();
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClassIdText;
    bool done = RegistryKey(HKEY_CLASSES_ROOT, kProgId)
                    .set(nullptr, L"Kovrisk stand-in spreadsheet application");
    done = done && RegistryKey(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID")
                       .set(nullptr, kClassIdText);
    done = done && RegistryKey(HKEY_CLASSES_ROOT, classKey)
                       .set(nullptr, L"Kovrisk stand-in spreadsheet application");
    done = done && RegistryKey(HKEY_CLASSES_ROOT, classKey + L"\\ProgID").set(nullptr, kProgId);
    done = done && RegistryKey(HKEY_CLASSES_ROOT, classKey + L"\\LocalServer32")
                       .set(nullptr, L"\"" + modulePath() + L"\" /automation");
    return done ? 0 : 1;
}

int serve() {
    if (FAILED(::CoInitialize(nullptr)))
        return 1;
    int code = 0;
    {
        std::shared_ptr<StandinServer> server = StandinServer::fromEnvironment();
        server->setOutOfProcess();
        BusyFilter filter(*server);
        IMessageFilter* previous = nullptr;
        ::CoRegisterMessageFilter(&filter, &previous);
        ClassFactory factory(server);
        DWORD cookie = 0;
        if (FAILED(::CoRegisterClassObject(kStandinClassId, &factory, CLSCTX_LOCAL_SERVER,
                                           REGCLS_MULTIPLEUSE, &cookie))) {
            code = 1;
        } else {
            factory.registered(cookie);
            ::SetTimer(nullptr, kLifeTimer, kLifeCheck, nullptr);
            MSG message{};
            while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
                if (message.message == WM_TIMER && message.hwnd == nullptr) {
                    if (factory.created() &&
                        kovrisk::testing::StandinDispatch::liveObjects() == 0 &&
                        !server->staysRunning()) {
                        break;
                    }
                    continue;
                }
                ::TranslateMessage(&message);
                ::DispatchMessageW(&message);
            }
            factory.revoke();
        }
        server->flush();
        ::CoRegisterMessageFilter(previous, nullptr);
    }
    ::CoUninitialize();
    return code;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring argument = argv[i];
        if (argument == L"/regserver" || argument == L"-regserver")
            return registerServer();
        if (argument == L"/unregserver" || argument == L"-unregserver")
            return unregister();
    }
    return serve();
}
