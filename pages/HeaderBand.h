// Never shown: its height places the progress page below it.
#pragma once

#include "framework/Dialog.h"
#include "res/resource.h"

class HeaderBand : public CDialog {
public:
    explicit HeaderBand(CWnd* parent = nullptr) : CDialog(IDD_HEADER_BAND, parent) {}
};
