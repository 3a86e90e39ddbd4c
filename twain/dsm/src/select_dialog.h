// The manager's source selection dialog (MSG_USERSELECT), shown through the platform's desktop.
#ifndef KORVEN_DSM_SELECT_DIALOG_H
#define KORVEN_DSM_SELECT_DIALOG_H

#include <windows.h>

#include <string>
#include <vector>

namespace korven::dsm {

// Shows the modal dialog "Select Source" ("#32770", WS_EX_DLGMODALFRAME) owned by `owner`: a list
// box with `names` in order, item `preselected` selected, the buttons "Select" (default, IDOK) and
// "Cancel". `owner` is disabled while the dialog runs its own message loop and gets its previous
// enabled state back on every way out, an exception from the desktop included. Returns the index
// chosen, or -1 for Cancel, the close box, a WM_QUIT (which is posted again for the application's
// own loop) or a dialog that could not be created.
int RunSelectDialog(HWND owner, const std::vector<std::string>& names, int preselected);

}  // namespace korven::dsm

#endif
