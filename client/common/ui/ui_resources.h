// Resource ids the window layer's own resources use. Programs include
// "client/common/ui/ui_resources.rc" in their .rc to get them, and keep these
// ids free.
#pragma once

// The hand cursor over link statics.
#define IDR_LINK_CURSOR 134

// The "Prepare Log" wait window and its text.
#define IDD_PREPARE_LOG 183
