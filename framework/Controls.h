// Thin wrappers for the three control kinds the pages bind with DDX_Control.
#pragma once

#include "framework/Wnd.h"

#include <commctrl.h>

class CButton : public CWnd {};

class CStatic : public CWnd {};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) const
    {
        SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    }
    // The control keeps the position inside its range by itself.
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};
