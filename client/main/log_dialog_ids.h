// Resource ids of the Log dialog, template 146.
#pragma once

#define IDD_LOG 146

#define IDC_LOG_SAVE 1074
#define IDC_LOG_LIST 1089
#define IDC_LOG_HELP 1092
#define IDC_LOG_LIMIT_SIZE 1190

#define IDS_NO_LOG_DATA 57651
#define IDS_LOG_TOO_LARGE 57652
