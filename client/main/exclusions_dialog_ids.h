// Resource ids of the Manage Exclusions dialog, template 145.
#pragma once

#define IDD_EXCLUSIONS 145
