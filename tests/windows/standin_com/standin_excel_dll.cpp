// The stand-in "Excel.Application" as an in-process COM server: the class factory, the four
// exports of a server DLL, and its registration under the machine's classes.
#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "standin_com/standin_objects.h"
#include "workbook/automation.h"

namespace {

using kovrisk::testing::StandinServer;

// {4F1B6C3E-8D2A-4B7F-A1E5-93C07D6B2E18}
constexpr CLSID kStandinClassId = {
    0x4f1b6c3e, 0x8d2a, 0x4b7f, {0xa1, 0xe5, 0x93, 0xc0, 0x7d, 0x6b, 0x2e, 0x18}};
constexpr wchar_t kClassIdText[] = L"{4F1B6C3E-8D2A-4B7F-A1E5-93C07D6B2E18}";
constexpr wchar_t kProgId[] = L"Excel.Application";

HMODULE gModule = nullptr;
std::atomic<long> gLocks{0};

// One stand-in application per process that loads the server, as long as the process lives.
const std::shared_ptr<StandinServer>& server() {
    static const std::shared_ptr<StandinServer> shared = StandinServer::fromEnvironment();
    return shared;
}

class ClassFactory final : public IClassFactory {
public:
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
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        IDispatch* application = nullptr;
        try {
            application = kovrisk::testing::makeStandinApplicationDispatch(
                server(), server()->application().create());
        } catch (const kovrisk::AutomationError&) {
            // A spreadsheet application that cannot start.
            server()->flush();
            return CO_E_SERVER_EXEC_FAILURE;
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        server()->flush();
        const HRESULT status = application->QueryInterface(iid, object);
        application->Release();
        return status;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            ++gLocks;
        } else {
            --gLocks;
        }
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
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
            ::GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, LPVOID* object) {
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (classId != kStandinClassId)
        return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new ClassFactory;
    const HRESULT status = factory->QueryInterface(iid, object);
    factory->Release();
    return status;
}

STDAPI DllCanUnloadNow() {
    return gLocks == 0 && kovrisk::testing::StandinDispatch::liveObjects() == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClassIdText;
    bool done = RegistryKey(HKEY_CLASSES_ROOT, kProgId)
                    .set(nullptr, L"Kovrisk stand-in spreadsheet application");
    done = done && RegistryKey(HKEY_CLASSES_ROOT, std::wstring(kProgId) + L"\\CLSID")
                       .set(nullptr, kClassIdText);
    done = done && RegistryKey(HKEY_CLASSES_ROOT, classKey)
                       .set(nullptr, L"Kovrisk stand-in spreadsheet application");
    done = done && RegistryKey(HKEY_CLASSES_ROOT, classKey + L"\\ProgID").set(nullptr, kProgId);
    RegistryKey server(HKEY_CLASSES_ROOT, classKey + L"\\InprocServer32");
    done = done && server.set(nullptr, modulePath()) && server.set(L"ThreadingModel", L"Apartment");
    return done ? S_OK : E_FAIL;
}

STDAPI DllUnregisterServer() {
    const std::wstring classKey = std::wstring(L"CLSID\\") + kClassIdText;
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
    ::RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    return S_OK;
}
