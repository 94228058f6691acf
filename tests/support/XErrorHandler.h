#pragma once

namespace testutil
{
// With no window manager on the virtual display, some window properties name
// atoms that nobody has created; Xlib's default handler would end the process.
// Installs a handler that ignores those errors and reports the rest.
void ignoreMissingAtomErrors();
} // namespace testutil
