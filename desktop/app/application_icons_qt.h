#pragma once
// The Applications window's icons: each application's desktop file icon (attribution/
// application_icons.h) as the desktop draws it, a theme icon by its name or an image file by
// its path.

#include "desktop/ui/applications/applications_dlg.h"

// For CApplicationsDlg::setIconOf: the desktop files are read at the first call, once for the
// window's opening. A null icon (the window's generic one is shown) when no desktop file names
// the application or its icon is neither in the theme nor a readable file.
CApplicationsDlg::IconOf desktopApplicationIcons();
