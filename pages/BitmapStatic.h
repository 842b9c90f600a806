// A static control that paints one bitmap resource stretched over its whole
// client area. It owns the bitmap it shows.
#pragma once

#include "framework/Controls.h"
#include "framework/Handles.h"

class BitmapStatic : public CStatic {
public:
    // Replaces the shown bitmap with a bitmap resource of the executable; an
    // unknown number leaves the control empty.
    void SetBitmap(WORD resourceId);
    HBITMAP GetBitmap() const { return bitmap.Get(); }

protected:
    void OnPaint();

    DECLARE_MESSAGE_MAP()

private:
    BitmapHandle bitmap;
};
