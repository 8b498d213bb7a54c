// Resource ids of the Log dialog, template 146.
#pragma once

#define IDD_LOG 146
