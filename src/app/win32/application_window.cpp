#include "app/win32/application_window.h"

namespace kovrisk {

namespace {

constexpr wchar_t kClassName[] = L"KovriskApplication";

void registerClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = ::DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass);  // already registered is fine
}

}  // namespace

ApplicationWindow::ApplicationWindow(HINSTANCE instance, const std::wstring& title) {
    registerClass(instance);
    window_ =
        ::CreateWindowExW(0, kClassName, title.c_str(), WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS, 0,
                          0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (window_ == nullptr)
        return;
    // No taskbar button for the program.
    const LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_EXSTYLE);
    ::SetWindowLongPtrW(window_, GWL_EXSTYLE, style | WS_EX_TOOLWINDOW);
}

ApplicationWindow::~ApplicationWindow() {
    if (window_ != nullptr)
        ::DestroyWindow(window_);
}

}  // namespace kovrisk
