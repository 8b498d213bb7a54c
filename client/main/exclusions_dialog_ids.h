// Resource ids of the Manage Exclusions dialog, template 145. Its fonts,
// tree colour and internal-error text are those of the scan page and the
// Scan dialog (page_look_ids.h, scan_page_ids.h, scan_dialog_ids.h).
#pragma once

#define IDD_EXCLUSIONS 145

#define IDC_EXCLUSIONS_SAVE_REPORT 1074
#define IDC_EXCLUSIONS_REMOVE_PESTS 1076
#define IDC_EXCLUSIONS_PESTS_FRAME 1078
#define IDC_EXCLUSIONS_PESTS 1079
#define IDC_EXCLUSIONS_SELECT_PESTS 1080
#define IDC_EXCLUSIONS_PATHS_FRAME 1082
#define IDC_EXCLUSIONS_PATHS 1083
#define IDC_EXCLUSIONS_SELECT_PATHS 1084
#define IDC_EXCLUSIONS_ADD_PATH 1085
#define IDC_EXCLUSIONS_REMOVE_PATHS 1086
#define IDC_EXCLUSIONS_HELP 1088

#define IDS_CHOOSE_FILE_OR_FOLDER 110
#define IDS_NO_EXCLUSIONS 114
