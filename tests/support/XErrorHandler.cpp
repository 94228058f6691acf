#include "support/XErrorHandler.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

#include <cstdio>

void testutil::ignoreMissingAtomErrors()
{
    XInitThreads();
    XSetErrorHandler ([] (Display* display, XErrorEvent* error) {
        if (error->error_code != BadAtom)
        {
            char text[256] = {};
            XGetErrorText (display, error->error_code, text, sizeof (text));
            std::fprintf (stderr, "X error ignored: %s (request %d)\n", text, error->request_code);
        }
        return 0;
    });
}
