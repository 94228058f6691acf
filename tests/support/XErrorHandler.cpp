#include "support/XErrorHandler.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <cstdio>

namespace testutil
{
namespace
{
    int onXError (Display* display, XErrorEvent* error)
    {
        if (error->error_code != BadAtom)
        {
            char text[256] = {};
            XGetErrorText (display, error->error_code, text, sizeof (text));
            std::fprintf (stderr, "X error ignored: %s (request %d)\n", text, error->request_code);
        }
        return 0;
    }
} // namespace

void ignoreMissingAtomErrors()
{
    XInitThreads();
    XSetErrorHandler (onXError);
}
} // namespace testutil
