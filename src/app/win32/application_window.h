// The application's hidden top-level window: it carries the application title and owns the
// status window.  Being a tool window, neither it nor the windows it owns get a taskbar button.
#pragma once

#include <windows.h>

#include <string>

namespace kovrisk {

class ApplicationWindow {
public:
    ApplicationWindow(HINSTANCE instance, const std::wstring& title);
    ~ApplicationWindow();
    ApplicationWindow(const ApplicationWindow&) = delete;
    ApplicationWindow& operator=(const ApplicationWindow&) = delete;

    HWND handle() const { return window_; }

private:
    HWND window_;
};

}  // namespace kovrisk
