// The seven custom-drawn control classes that dialog templates name.
#pragma once

namespace olvex::dlgframe {

// Registers CUST:LABEL, CUST:IMAGE, CUST:BUTTON, CUST:WEBLINK,
// CUST:RADIOBUTTON, CUST:CHECKBUTTON and CUST:GROUP for the host program's
// module, global to it. A class of one of these names that another copy of
// the framework registered (another procedure) is registered again. False
// when the label or image class could not be made; otherwise whether the
// group class was.
bool RegisterControlClasses();

// Unregisters them, when the framework DLL is unloaded.
void UnregisterControlClasses();

}  // namespace olvex::dlgframe
