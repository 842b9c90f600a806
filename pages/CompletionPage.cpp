#include "pages/CompletionPage.h"

#include "res/resource.h"

CompletionPage::CompletionPage(CWnd* parent) : WhitePage(IDD_COMPLETION, parent) {}
