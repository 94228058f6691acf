#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The X display as a user sees it: what is on screen and what the mouse does.
// A hosted VST3 editor draws into its own embedded X window, which neither the
// host's component snapshots nor its synthetic mouse events reach.
namespace xscreen
{
// The pixels of a screen area, read back from the X server.
juce::Image grab (juce::Rectangle<int> screenArea);

// A left click at a screen position through the XTest extension, with the
// host's message loop pumped between the events so both sides see each one.
void click (juce::Point<int> screenPosition);

// How many windows are mapped directly on the root window: the host's
// top-level windows and any pop-up menu, from either framework copy.
int mappedTopLevelWindows();

// Runs the host's message loop until the condition holds or the time is up.
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs);
void pump (int milliseconds);
} // namespace xscreen
