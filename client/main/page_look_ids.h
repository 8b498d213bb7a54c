// Resource ids of the look the three pages share: the background picture,
// the banner band at the top of every page template (never shown), the link
// cursor (the window layer's IDR_LINK_CURSOR, 134), fonts and colours.
#pragma once

#include "client/common/ui/ui_resources.h"

// Pictures.
#define IDB_DRIVE_IMAGES 140
// The management dialogs' Help buttons.
#define IDB_HELP_BUTTON 144
#define IDB_PAGE_BACKGROUND 186
#define IDB_BANNER_LEFT 191
#define IDB_BANNER_RIGHT 192

// The banner band's controls, the same on every page template.
#define IDC_BANNER_LEFT_PICTURE 1265
#define IDC_BANNER_RIGHT_PICTURE 1267
#define IDC_BANNER_TITLE 1268
#define IDC_BANNER_SUBTITLE 1269
#define IDC_BANNER_TEXT 1270
#define IDC_BANNER_NOTE 1271
#define IDC_BANNER_BUTTON 1272

// Fonts: face and size in points.
#define IDS_TITLE_FONT_FACE 182
#define IDS_HEADING_FONT_FACE 184
#define IDS_LINK_FONT_FACE 185
#define IDS_CONFIG_FONT_FACE 186
#define IDS_TITLE_FONT_SIZE 223
#define IDS_HEADING_FONT_SIZE 225
#define IDS_LINK_FONT_SIZE 226
#define IDS_CONFIG_FONT_SIZE 227

// Colours "r,g,b".
#define IDS_HEADING_COLOUR 236
#define IDS_LINK_COLOUR 237
#define IDS_OWN_PAGE_COLOUR 314

// The help file in the install folder.
#define IDS_HELP_FILE_NAME 57657
