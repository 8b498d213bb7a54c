// Resource ids of what the Scan dialog does with its results: cleaning,
// excluding and the pest-information site.
#pragma once

#define IDS_PEST_ITEM_FAILED 118
#define IDS_EXCLUDE_FAILED 160
#define IDS_RESTART_NEEDED 166
#define IDS_PEST_INFO_SITE 169
#define IDS_ACTION_DELETED 189
#define IDS_ACTION_QUARANTINED 190
#define IDS_NOT_ALL_CHECKED 310
#define IDS_NOT_ALL_QUARANTINED 319
#define IDS_PROGRAMS_MAY_EXIT 323
