// What the welcome and completion pages share: the white look, the bold title
// font on control 1004, the side picture and the logo of the current mode.
#pragma once

#include "engine/Delivery.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "pages/BitmapStatic.h"

// What the pages show that the program was started with: the delivery whose
// texts they show, and whether it runs as LumoSidInstall.exe (its own texts
// and logo).
struct PageContent {
    const Delivery* delivery = nullptr;
    bool sidInstall = false;
};

class WhitePage : public CDialog {
public:
    WhitePage(UINT templateId, CWnd* parent, PageContent content = PageContent())
        : CDialog(templateId, parent), content_(content)
    {
    }

    BOOL OnInitDialog() override;

    BitmapStatic logo;
    BitmapStatic sidePicture;
    FontHandle titleFont;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // A value of the delivery's description file; empty without a delivery.
    std::string DescriptionText(const std::string& section, const std::string& key) const;

    PageContent content_;
    HBRUSH OnCtlColor(HDC dc, HWND control);

    DECLARE_MESSAGE_MAP()
};

// The dialog font made bold and 5 units taller (its height is negative, a
// character height, so decreasing it enlarges the text). Null on failure.
HFONT MakeTitleFont(HFONT dialogFont);
