// Ttaginformation's window on Windows: a small fixed, topmost panel with a stretched gradient
// picture, one line of status text, the hidden edit box Edit1 that holds the target path and the
// one-shot timer Timer1.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "app/taginformation_view.h"
#include "app/win32/gdi_objects.h"

namespace kovrisk {

class TaginformationWindow : public TaginformationView {
public:
    // Created hidden, owned by `owner` (the application window).
    TaginformationWindow(HINSTANCE instance, HWND owner);
    ~TaginformationWindow() override;
    TaginformationWindow(const TaginformationWindow&) = delete;
    TaginformationWindow& operator=(const TaginformationWindow&) = delete;

    // The tick handler of Timer1.
    void setTimerHandler(std::function<void()> handler) { onTimer_ = std::move(handler); }
    // FormShow: clears the status text, puts the window on top in its place and arms the timer;
    // then shows the window.
    void show();
    // Whether terminate() or closeWindow() has asked the program to end.
    bool terminating() const { return terminating_; }
    HWND handle() const { return window_; }

    // TaginformationView.
    void setTargetPath(const NativePath& path) override;
    void disableTimer() override;
    void setStatusText(const std::string& text) override;
    NativePath targetPath() override;
    void closeWindow() override;
    void terminate() override;
    BoxAnswer messageBox(const std::string& text, BoxButtons buttons) override;

private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void createChildren();
    void paint();
    void putOnTop(UINT extraFlags);

    HINSTANCE instance_;
    HWND owner_;
    HWND window_ = nullptr;
    HWND edit1_ = nullptr;
    UniqueFont formFont_;
    UniqueFont labelFont_;
    UniqueFont editFont_;
    UniqueBitmap picture_;
    std::wstring statusText_ = L"lblMessage";
    std::function<void()> onTimer_;
    bool terminating_ = false;
};

}  // namespace kovrisk
