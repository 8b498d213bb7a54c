// Resource ids of the Active Protection Settings dialog, template 181, and
// its texts.
#pragma once

#define IDD_ACTIVE_PROTECTION 181
#define IDC_AP_MEMORY 1193
#define IDC_AP_OPTIONS_GROUP 1194
#define IDC_AP_COOKIES 1195
#define IDC_AP_ON_BOOT 1196
#define IDC_AP_STATUS_GROUP 1197
#define IDC_AP_STATUS 1198
#define IDC_AP_START_STOP 1199
#define IDC_AP_APPLY 1200

#define IDS_AP_UNSAVED_CHANGES 292
#define IDS_AP_CANNOT_STOP 295
#define IDS_AP_STOP_WARNING 315
