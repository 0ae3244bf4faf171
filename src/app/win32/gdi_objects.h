// Owners for the GDI objects the status window draws with.
#pragma once

#include <windows.h>

#include "support/unique_resource.h"

namespace kovrisk {

// A font, bitmap or brush: DeleteObject when dropped.
inline bool deleteGdiObject(HGDIOBJ object) {
    return ::DeleteObject(object) != 0;
}
using UniqueFont = UniqueResource<HFONT, deleteGdiObject, HFONT{}>;
using UniqueBitmap = UniqueResource<HBITMAP, deleteGdiObject, HBITMAP{}>;

// A memory device context: DeleteDC when dropped.
inline bool deleteDc(HDC dc) {
    return ::DeleteDC(dc) != 0;
}
using UniqueMemoryDc = UniqueResource<HDC, deleteDc, HDC{}>;

// Selects an object into a device context and puts the previous one back when dropped.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(::SelectObject(dc, object)) {}
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR)
            ::SelectObject(dc_, previous_);
    }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint and EndPaint.
class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window), dc_(::BeginPaint(window, &paint_)) {}
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

}  // namespace kovrisk
