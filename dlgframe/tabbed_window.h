// The tabbed window's class, removed when the framework is unloaded.
#pragma once

namespace olvex::dlgframe {

void UnregisterTabbedWindowClass();

}  // namespace olvex::dlgframe
