// The first page: welcome texts, side picture and logo. Enter and Esc are the
// wizard's Next and Exit.
#pragma once

#include "pages/WhitePage.h"

class WelcomePage : public WhitePage {
public:
    explicit WelcomePage(CWnd* parent = nullptr, PageContent content = PageContent());

    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
};
