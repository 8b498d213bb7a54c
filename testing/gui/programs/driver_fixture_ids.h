// Control ids of the window driver's test dialog.
#pragma once

#define IDD_FIXTURE 100
#define IDC_EDIT 101
#define IDC_COPY 102
#define IDC_RESULT 103
#define IDC_TICK 104
#define IDC_LINK 105
#define IDC_ASK 106
#define IDC_DISABLED 107
#define IDC_TREE 108
#define IDC_LIST 109
#define IDS_QUESTION 200
// Sleeps wParam milliseconds, then answers lParam * 2.
#define WM_FIXTURE_SLOW (WM_APP + 1)
