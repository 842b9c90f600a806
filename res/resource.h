// Resource and control identifiers of LumoInstall.
#pragma once

#define IDR_MAINFRAME 128
#define IDB_SIDE_PICTURE 129
#define IDB_LOGO 141
#define IDB_LOGO_SID 142
#define IDR_REGISTRY_SCRIPT 103

#define IDD_WIZARD 102
#define IDD_WELCOME 130
#define IDD_HEADER_BAND 131
#define IDD_PROGRESS 134
#define IDD_COMPLETION 135

#define IDC_WIZARD_SEPARATOR 1000
#define IDC_BACK 1001
#define IDC_NEXT 1002
#define IDC_SIDE_PICTURE 1003
#define IDC_TITLE 1004
#define IDC_TEXT 1005
#define IDC_ADVICE 1006
#define IDC_HEADER_TITLE 1011
#define IDC_STATUS_LINE 1020
#define IDC_PROGRESS_BAR 1021
#define IDC_START_CLIENT 1022
#define IDC_LOGO 1035

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
