// Resource ids of the Sound Options dialog, template 150.
#pragma once

#define IDD_SOUND_OPTIONS 150
#define IDC_SOUND_PROMPT 1104
#define IDC_SOUND_ERRORS 1105
#define IDC_SOUND_DONE 1106
