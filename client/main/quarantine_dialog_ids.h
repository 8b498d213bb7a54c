// Resource ids of the Manage Quarantine dialog, template 143.
#pragma once

#define IDD_QUARANTINE 143
