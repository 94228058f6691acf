#include "host/XScreen.h"
#include "support/XErrorHandler.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace
{
// Before main, and so before any other Xlib call: the plug-in's own framework
// copy talks to the server from its message thread too.
[[maybe_unused]] const bool xReady = [] {
    testutil::ignoreMissingAtomErrors();
    return true;
}();

Display* const display = XOpenDisplay (nullptr);
} // namespace

namespace xscreen
{
juce::Image grab (juce::Rectangle<int> area)
{
    XSync (display, False);
    const auto w = (unsigned) area.getWidth(), h = (unsigned) area.getHeight();
    XImage* x = XGetImage (display, DefaultRootWindow (display), area.getX(), area.getY(), w, h, AllPlanes, ZPixmap);
    if (x == nullptr)
        return {};
    juce::Image image (juce::Image::RGB, area.getWidth(), area.getHeight(), false, juce::SoftwareImageType());
    {
        juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);
        for (int y = 0; y < area.getHeight(); ++y)
            for (int i = 0; i < area.getWidth(); ++i)
                pixels.setPixelColour (i, y, juce::Colour ((juce::uint32) XGetPixel (x, i, y)).withAlpha ((juce::uint8) 255));
    }
    XDestroyImage (x);
    return image;
}

bool samePixels (const juce::Image& a, const juce::Image& b)
{
    const juce::Image::BitmapData da (a, juce::Image::BitmapData::readOnly), db (b, juce::Image::BitmapData::readOnly);
    for (int y = 0; y < a.getHeight(); ++y)
        if (std::memcmp (da.getLinePointer (y), db.getLinePointer (y), (size_t) (a.getWidth() * da.pixelStride)) != 0)
            return false;
    return true;
}

void click (juce::Point<int> position)
{
    for (auto event : { 0, 1, 2 })
    {
        if (event == 0)
            XTestFakeMotionEvent (display, DefaultScreen (display), position.x, position.y, CurrentTime);
        else
            XTestFakeButtonEvent (display, 1, event == 1, CurrentTime);
        XFlush (display);
        pump (60);
    }
}

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        pump (10);
    }
    return true;
}
} // namespace xscreen
