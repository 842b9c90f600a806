// The last page: the outcome of the run, its hint, side picture and logo.
#pragma once

#include "pages/WhitePage.h"

class CompletionPage : public WhitePage {
public:
    explicit CompletionPage(CWnd* parent = nullptr, PageContent content = PageContent());
};
