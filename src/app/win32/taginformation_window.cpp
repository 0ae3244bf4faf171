#include "app/win32/taginformation_window.h"

#include "app/status_window_layout.h"
#include "app/win32/resource_ids.h"
#include "platform/text_codec.h"
#include "support/texts.h"

namespace kovrisk {

namespace {

constexpr wchar_t kClassName[] = L"Ttaginformation";

// Layout at 96 pixels per inch.
constexpr POINT kDesignPosition{layout::kDesignLeft, layout::kDesignTop};
constexpr SIZE kClientSize{layout::kClientWidth, layout::kClientHeight};
constexpr RECT toRect(layout::Box box) {
    return RECT{box.left, box.top, box.left + box.width, box.top + box.height};
}
constexpr RECT kImage1 = toRect(layout::kImage1);
constexpr RECT kLblMessage = toRect(layout::kLblMessage);
constexpr RECT kEdit1 = toRect(layout::kEdit1);
constexpr COLORREF kNavy = RGB(layout::kTextRed, layout::kTextGreen, layout::kTextBlue);
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT kTimer1Interval = layout::kTimer1IntervalMilliseconds;
constexpr int kEdit1Limit = layout::kEdit1TypingLimit;
// Single border with title bar; no system menu, so no title-bar buttons.
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
constexpr DWORD kExStyle = WS_EX_WINDOWEDGE;

UniqueFont shiftJisFont(int height, std::string_view face) {
    return UniqueFont(::CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                    SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                                    fromShiftJis(face).c_str()));
}

void registerClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(KOVRISK_ICON));
    windowClass.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kClassName;
    ::RegisterClassExW(&windowClass);
}

}  // namespace

TaginformationWindow::TaginformationWindow(HINSTANCE instance, HWND owner)
    : instance_(instance), owner_(owner) {
    formFont_ = shiftJisFont(layout::kWindowFontPixels, layout::kWindowFontFace);
    labelFont_ = shiftJisFont(layout::kLblMessageFontPixels, layout::kLblMessageFontFace);
    editFont_ = shiftJisFont(layout::kEdit1FontPixels, layout::kWindowFontFace);
    picture_ = UniqueBitmap(
        static_cast<HBITMAP>(::LoadImageW(instance, MAKEINTRESOURCEW(KOVRISK_STATUS_BITMAP),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));

    registerClass(instance, &TaginformationWindow::procedure);
    RECT frame{0, 0, kClientSize.cx, kClientSize.cy};
    ::AdjustWindowRectEx(&frame, kStyle, FALSE, kExStyle);
    window_ =
        ::CreateWindowExW(kExStyle, kClassName, fromShiftJis(texts::kWindowCaption).c_str(), kStyle,
                          kDesignPosition.x, kDesignPosition.y, frame.right - frame.left,
                          frame.bottom - frame.top, owner, nullptr, instance, this);
    if (window_ != nullptr)
        createChildren();
}

TaginformationWindow::~TaginformationWindow() {
    if (window_ != nullptr)
        ::DestroyWindow(window_);
}

void TaginformationWindow::createChildren() {
    ::SendMessageW(window_, WM_SETFONT, reinterpret_cast<WPARAM>(formFont_.get()), FALSE);
    // Invisible, no tab stop, flat border.
    edit1_ = ::CreateWindowExW(0, L"EDIT", L"Edit1", WS_CHILD | WS_BORDER | ES_AUTOHSCROLL,
                               kEdit1.left, kEdit1.top, kEdit1.right - kEdit1.left,
                               kEdit1.bottom - kEdit1.top, window_, nullptr, instance_, nullptr);
    ::SendMessageW(edit1_, WM_SETFONT, reinterpret_cast<WPARAM>(editFont_.get()), FALSE);
    // The limit holds for typing only; the target path is set whole.
    ::SendMessageW(edit1_, EM_LIMITTEXT, kEdit1Limit, 0);
}

void TaginformationWindow::show() {
    // FormShow.
    statusText_.clear();
    ::SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    putOnTop(0);
    ::SetTimer(window_, kTimer1, kTimer1Interval, nullptr);
    ::ShowWindow(window_, SW_SHOWNORMAL);
}

void TaginformationWindow::putOnTop(UINT extraFlags) {
    ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | extraFlags);
}

void TaginformationWindow::setTargetPath(const NativePath& path) {
    ::SetWindowTextW(edit1_, path.c_str());
}

NativePath TaginformationWindow::targetPath() {
    const int length = ::GetWindowTextLengthW(edit1_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = ::GetWindowTextW(edit1_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got < 0 ? 0 : got));
    return NativePath(text);
}

void TaginformationWindow::disableTimer() {
    ::KillTimer(window_, kTimer1);
}

void TaginformationWindow::setStatusText(const std::string& text) {
    statusText_ = fromShiftJis(text);
    // The whole client area: the text may reach beyond the label's box (see paint()).
    ::InvalidateRect(window_, nullptr, TRUE);
    ::UpdateWindow(window_);
}

void TaginformationWindow::closeWindow() {
    terminating_ = true;
    ::DestroyWindow(window_);
}

void TaginformationWindow::terminate() {
    terminating_ = true;
    ::PostQuitMessage(0);
}

BoxAnswer TaginformationWindow::messageBox(const std::string& text, BoxButtons buttons) {
    const UINT flags = buttons == BoxButtons::Ok ? MB_OK : MB_OKCANCEL | MB_DEFBUTTON2;
    const HWND owner = ::IsWindowVisible(window_) ? window_ : owner_;
    const int answer = ::MessageBoxW(owner, fromShiftJis(text).c_str(),
                                     fromShiftJis(texts::kCaption).c_str(), flags);
    return answer == IDOK ? BoxAnswer::Ok : BoxAnswer::Cancel;
}

void TaginformationWindow::paint() {
    PaintScope scope(window_);
    const HDC dc = scope.dc();
    if (picture_) {
        UniqueMemoryDc source(::CreateCompatibleDC(dc));
        SelectedObject selected(source.get(), picture_.get());
        BITMAP picture{};
        ::GetObjectW(picture_.get(), sizeof picture, &picture);
        ::SetStretchBltMode(dc, COLORONCOLOR);
        ::StretchBlt(dc, kImage1.left, kImage1.top, kImage1.right - kImage1.left,
                     kImage1.bottom - kImage1.top, source.get(), 0, 0, picture.bmWidth,
                     picture.bmHeight, SRCCOPY);
    }
    SelectedObject font(dc, labelFont_.get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kNavy);
    // Not clipped to the label: a substitute for the named face may stand taller than 16 pixels.
    RECT label = kLblMessage;
    ::DrawTextW(dc, statusText_.c_str(), static_cast<int>(statusText_.size()), &label,
                DT_CENTER | DT_TOP | DT_SINGLELINE | DT_EXPANDTABS | DT_NOPREFIX | DT_NOCLIP);
}

LRESULT CALLBACK TaginformationWindow::procedure(HWND window, UINT message, WPARAM wParam,
                                                 LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<TaginformationWindow*>(create->lpCreateParams);
        self->window_ = window;
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self =
        reinterpret_cast<TaginformationWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT TaginformationWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            paint();
            return 0;
        case WM_TIMER:
            if (wParam == kTimer1 && onTimer_)
                onTimer_();
            return 0;
        case WM_ACTIVATE:
            // FormDeactivate: back into the topmost band, without taking the activation back
            // from the window that just got it (a message box, the spreadsheet application).
            if (LOWORD(wParam) == WA_INACTIVE)
                putOnTop(SWP_NOACTIVATE);
            break;
        case WM_DESTROY: {
            const HWND window = window_;
            window_ = nullptr;
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            // The main window: closing it ends the program.
            ::PostQuitMessage(0);
            return 0;
        }
        default:
            break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

}  // namespace kovrisk
