// Resource ids of the client library's proxy dialog (proxy_dialog.rc).
// Programs that include proxy_dialog.rc keep these ids free.
#pragma once

#define IDD_PROXY 182
#define IDS_PROXY_FILE_NAME 296
#define IDS_PROXY_UNSAVED_CHANGES_QUESTION 297
#define IDS_PROXY_BLANK_CREDENTIAL_QUESTION 298
#define IDS_PROXY_NO_ADDRESS_MESSAGE 299
#define IDS_PROXY_BAD_PORT_MESSAGE 300
#define IDS_PROXY_DIALOG_TITLE 316
#define IDS_PROXY_MESSAGE_CAPTION 317
