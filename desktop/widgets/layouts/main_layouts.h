#pragma once
// Layouts and menus of the main window, its about box and its tray menu.

#include "desktop/widgets/dialog_template.h"

const DialogTemplate& mainDialogLayout(); // 102
const DialogTemplate& aboutLayout();      // 131
const MenuTemplate& mainMenu();           // 134
const MenuTemplate& trayMenu();           // 139
