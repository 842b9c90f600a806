#include "pages/CompletionPage.h"

#include "res/resource.h"

CompletionPage::CompletionPage(CWnd* parent, PageContent content)
    : WhitePage(IDD_COMPLETION, parent, content)
{
}
