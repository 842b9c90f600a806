#include "pages/WhitePage.h"

#include "app/InstallerApp.h"
#include "res/resource.h"

HFONT MakeTitleFont(HFONT dialogFont)
{
    LOGFONTW font{};
    if (dialogFont == nullptr || ::GetObjectW(dialogFont, sizeof(font), &font) == 0)
        return nullptr;
    font.lfWeight = FW_BOLD;
    font.lfHeight -= 5;
    return ::CreateFontIndirectW(&font);
}

BEGIN_MESSAGE_MAP(WhitePage, CDialog)
    ON_WM_CTLCOLOR()
END_MESSAGE_MAP()

void WhitePage::DoDataExchange(CDataExchange* pDX)
{
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LOGO, logo);
    DDX_Control(pDX, IDC_SIDE_PICTURE, sidePicture);
}

BOOL WhitePage::OnInitDialog()
{
    CDialog::OnInitDialog();
    titleFont.Reset(MakeTitleFont(reinterpret_cast<HFONT>(SendMessage(WM_GETFONT))));
    ::SendMessageW(GetDlgItem(IDC_TITLE), WM_SETFONT, reinterpret_cast<WPARAM>(titleFont.Get()), FALSE);
    sidePicture.SetBitmap(IDB_SIDE_PICTURE);
    logo.SetBitmap(theApp.sidInstall ? IDB_LOGO_SID : IDB_LOGO);
    return TRUE;
}

HBRUSH WhitePage::OnCtlColor(HDC dc, HWND)
{
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}
