// Resource ids of the Schedule dialog, template 179.
#pragma once

#define IDD_SCHEDULE 179
