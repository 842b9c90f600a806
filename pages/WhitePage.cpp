#include "pages/WhitePage.h"

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
    logo.SetBitmap(content_.sidInstall ? IDB_LOGO_SID : IDB_LOGO);
    return TRUE;
}

std::string WhitePage::DescriptionText(const std::string& section, const std::string& key) const
{
    return content_.delivery != nullptr ? content_.delivery->ReadInstallValue(section, key) : std::string();
}

HBRUSH WhitePage::OnCtlColor(HDC dc, HWND)
{
    ::SetBkMode(dc, TRANSPARENT);
    return static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
}
