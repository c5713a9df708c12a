#include "app/InstallerSettings.h"

InstallerSettings g_installerSettings;

namespace {

// Settings come from the defaults and the settings file before the entry point runs; the
// command line is applied later, once the single-instance guard is held.
[[maybe_unused]] const bool kSettingsLoaded = (LoadInstallerSettings(), true);

}  // namespace
