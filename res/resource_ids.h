// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDD_TOVLAUNCHER_DIALOG 102
#define IDD_CONTENT_PANEL      130
#define IDR_MAINFRAME          132
#define IDB_CLOSE_PNG          133
#define IDB_BACKGROUND_PNG     134

#define IDC_PROGRESS           1000
#define IDC_PERCENT_TEXT       1001
#define IDC_PHASE_LABEL        1002
#define IDC_STATUS_TEXT        1003
#define IDC_BROWSER            1005
