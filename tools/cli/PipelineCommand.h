#pragma once
// "pipeline --url URL --dir DIR [--old-uninstaller PATH] [--type N] [--insnew] [--lang TAG]
// [--no-desktop] [--no-quicklaunch] [--retry-dir DIR2]": runs the whole installation chain
// without a window and prints every event as "download" does. With --retry-dir the first
// failure is answered as the window's retry does: new parameters with DIR2, then Start.
// Defaults (address, download type, install-new, InstCmd) come from the installer's
// settings file next to the tool, as they would for the installer; the options override.

namespace Cli {

// Runs the pipeline command on the arguments after "pipeline"; returns the exit code.
int RunPipeline(int argc, wchar_t** argv);

}  // namespace Cli
