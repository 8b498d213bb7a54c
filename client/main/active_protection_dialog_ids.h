// Resource ids of the Active Protection Settings dialog, template 181.
#pragma once

#define IDD_ACTIVE_PROTECTION 181
#define IDC_AP_STATUS 1198
#define IDC_AP_START_STOP 1199
