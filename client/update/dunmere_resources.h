// Resource ids of the update utility Dunmere.exe.
#pragma once

// The modeless status window shown for the whole run.
#define IDD_APPLY_UPDATES_STATUS 130
#define IDC_STATUS_TEXT 1000

#define IDS_DUNMERE_MAIN_TITLE 200
#define IDS_NO_PROGRAM_FILES 201
#define IDS_ENGINE_NOT_INSTALLED 202
#define IDS_UPDATER_INIT_FAILED 203
