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

Display* display()
{
    static Display* const d = XOpenDisplay (nullptr);
    return d;
}

int channel (unsigned long pixel, unsigned long mask)
{
    if (mask == 0)
        return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0)
        ++shift;
    return (int) (((pixel & mask) >> shift) * 255 / (mask >> shift));
}
} // namespace

namespace xscreen
{
juce::Image grab (juce::Rectangle<int> area)
{
    auto* d = display();
    if (d == nullptr || area.isEmpty())
        return {};

    XSync (d, False);
    XImage* x = XGetImage (d, DefaultRootWindow (d), area.getX(), area.getY(), (unsigned) area.getWidth(),
                           (unsigned) area.getHeight(), AllPlanes, ZPixmap);
    if (x == nullptr)
        return {};

    juce::Image image (juce::Image::RGB, area.getWidth(), area.getHeight(), false, juce::SoftwareImageType());
    {
        juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);
        for (int y = 0; y < area.getHeight(); ++y)
            for (int i = 0; i < area.getWidth(); ++i)
            {
                const auto p = XGetPixel (x, i, y);
                pixels.setPixelColour (i, y, juce::Colour ((juce::uint8) channel (p, x->red_mask), (juce::uint8) channel (p, x->green_mask), (juce::uint8) channel (p, x->blue_mask)));
            }
    }
    XDestroyImage (x);
    return image;
}

void click (juce::Point<int> position)
{
    auto* d = display();
    if (d == nullptr)
        return;

    const auto send = [d] (auto&& event) {
        event();
        XFlush (d);
        pump (60);
    };
    send ([&] { XTestFakeMotionEvent (d, DefaultScreen (d), position.x, position.y, CurrentTime); });
    send ([&] { XTestFakeButtonEvent (d, 1, True, CurrentTime); });
    send ([&] { XTestFakeButtonEvent (d, 1, False, CurrentTime); });
}

int mappedTopLevelWindows()
{
    auto* d = display();
    if (d == nullptr)
        return -1;

    XSync (d, False);
    Window root {}, parent {};
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree (d, DefaultRootWindow (d), &root, &parent, &children, &count) == 0)
        return -1;

    int mapped = 0;
    for (unsigned int i = 0; i < count; ++i)
    {
        XWindowAttributes attributes {};
        if (XGetWindowAttributes (d, children[i], &attributes) != 0 && attributes.map_state == IsViewable)
            ++mapped;
    }
    if (children != nullptr)
        XFree (children);
    return mapped;
}

bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;
    while (! condition())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
        juce::MessageManager::getInstance()->runDispatchLoopUntil (10);
    }
    return true;
}

void pump (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}
} // namespace xscreen
