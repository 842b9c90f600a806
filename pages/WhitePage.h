// What the welcome and completion pages share: the white look, the bold title
// font on control 1004, the side picture and the logo of the current mode.
#pragma once

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "pages/BitmapStatic.h"

class WhitePage : public CDialog {
public:
    WhitePage(UINT templateId, CWnd* parent) : CDialog(templateId, parent) {}

    BOOL OnInitDialog() override;

    BitmapStatic logo;
    BitmapStatic sidePicture;
    FontHandle titleFont;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    HBRUSH OnCtlColor(HDC dc, HWND control);

    DECLARE_MESSAGE_MAP()
};

// The dialog font made bold and 5 units taller (its height is negative, a
// character height, so decreasing it enlarges the text). Null on failure.
HFONT MakeTitleFont(HFONT dialogFont);
