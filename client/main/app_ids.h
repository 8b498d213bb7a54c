// Resource ids of the main program as a whole: its icon and the texts of its
// start-up, settings, engine objects and helpers.
#pragma once

// The program's icon (also the frame's).
#define IDR_MAINFRAME 128
// The picture of the management dialogs' Help buttons.
#define IDB_HELP_BUTTON 144

// Start-up.
#define IDS_SOCKETS_FAILED 104
#define IDS_ACTIVITY_LOG_NAME 105
#define IDS_NO_GUID 126
#define IDS_ENGINE_NOT_INSTALLED 127
#define IDS_SCANNER_INIT_FAILED 129
#define IDS_DATABASE_INIT_FAILED 130
#define IDS_EXTERMINATOR_INIT_FAILED 131
#define IDS_QUARANTINE_INIT_FAILED 132
#define IDS_EXCLUDER_INIT_FAILED 133
#define IDS_NO_STARTUP_FOLDER 191
#define IDS_LIMITED_RIGHTS 201
#define IDS_DIALOG_BACKGROUND 235
#define IDS_PROXY_FILE_NAME 296
#define IDS_ENGINE_DAMAGED 317
#define IDS_NO_PROGRAM_FILES 320
#define IDS_THREAD_FAILED 335
#define IDS_SETTINGS_FILE_NAME 57661
#define IDS_NO_COMMON_APPDATA 61204
#define IDS_COMPANY_FOLDER_NAME 61205
#define IDS_PRODUCT_FOLDER_NAME 61206
#define IDS_LOG_COMPANY_FOLDER 61207
#define IDS_LOG_PRODUCT_FOLDER 61208
#define IDS_NO_APPDATA_FOLDER 61209
#define IDS_COMPANY_FOLDER 61210
#define IDS_PRODUCT_FOLDER 61211
#define IDS_UPDATER_TITLE 61213
#define IDS_MAIN_TITLE 61214
#define IDS_COMPANY_KEY_NAME 61215

// Command-line switches.
#define IDS_SWITCH_SHOW_QUARANTINE 373
#define IDS_SWITCH_SHOW_EXCLUSIONS 374
#define IDS_SWITCH_SCAN 57605

// Helpers: pests, protection status, machine id, suite, desktop shortcut.
#define IDS_PROTECTION_STOPPED 145
#define IDS_PROTECTION_ON 146
#define IDS_PRODUCT_NAME 250
#define IDS_MACHINE_ID_FILE_NAME 278
#define IDS_PROTECTION_OFF 375
#define IDS_UNKNOWN 57606
// The activity log's action when the user excludes something.
#define IDS_ACTION_EXCLUDED 337
#define IDS_SUITE_PROGRAM 61306
#define IDS_SUITE_PROGRAM_SWITCH 61307
#define IDS_PROGRAM_FILE_NAME 61309
#define IDS_SHORTCUT_NAME 61310
#define IDS_SUITE_KEY_NAME 61302

// The active-protection settings file.
#define IDS_AP_FILE_NAME 283
#define IDS_AP_ON 284
#define IDS_AP_OFF 285
#define IDS_AP_MEMORY 286
#define IDS_AP_COOKIES 287
#define IDS_AP_HEURISTICS 288
#define IDS_AP_ON_BOOT 289

// The Task Scheduler check.
#define IDS_SCHEDULER_UNSUPPORTED 241
#define IDS_SCHEDULER_NOT_FOUND 242
#define IDS_SCHEDULER_NOT_STARTED 243
#define IDS_SERVICE_MANAGER_ERROR 244
#define IDS_SCHEDULER_STATE_UNKNOWN 245
