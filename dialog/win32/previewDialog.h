#pragma once

// The preview dialog on Windows. The plug-in module installs it as the
// start selector's dialog when it is loaded; a host that links the plug-in
// in installs it itself.

namespace lakra {

// Shows the dialog modally over the current host's window; true when the
// user confirmed with OK.
bool runWin32PreviewDialog();

} // namespace lakra
