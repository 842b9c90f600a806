#include "pages/BitmapStatic.h"

#include "framework/Dialog.h"

BEGIN_MESSAGE_MAP(BitmapStatic, CStatic)
    ON_WM_PAINT()
END_MESSAGE_MAP()

void BitmapStatic::SetBitmap(WORD resourceId)
{
    bitmap.Reset();
    bitmap.Reset(static_cast<HBITMAP>(
        ::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void BitmapStatic::OnPaint()
{
    PAINTSTRUCT ps{};
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    if (bitmap) {
        MemoryDc memory(::CreateCompatibleDC(dc));
        if (memory) {
            BITMAP info{};
            ::GetObjectW(bitmap.Get(), sizeof(info), &info);
            HGDIOBJ previous = ::SelectObject(memory.Get(), bitmap.Get());
            if (previous != nullptr && previous != HGDI_ERROR) {
                const RECT client = GetClientRect();
                ::SetStretchBltMode(dc, HALFTONE);
                ::StretchBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, info.bmWidth,
                             info.bmHeight, SRCCOPY);
                ::SelectObject(memory.Get(), previous);
            }
        }
    }
    ::EndPaint(m_hWnd, &ps);
}
