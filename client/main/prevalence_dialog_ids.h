// Resource ids of the Prevalence Research dialog, template 153.
#pragma once

#define IDD_PREVALENCE 153
