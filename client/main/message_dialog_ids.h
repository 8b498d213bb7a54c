// Resource ids of the Message dialog, template 151.
#pragma once

#define IDD_MESSAGE 151
#define IDC_MESSAGE_TEXT 1110
