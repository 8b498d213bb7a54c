// Resource ids of the About dialog, template 100.
#pragma once

#define IDD_ABOUT 100
#define IDC_ABOUT_PROGRAM_VERSION 1068
