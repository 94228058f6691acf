#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The X display as a user sees it: what is on screen and what the mouse does.
// A hosted VST3 editor draws into its own embedded X window, which neither the
// host's component snapshots nor its synthetic mouse events reach.
namespace xscreen
{
// The pixels of a screen area, read back from the X server (a 24-bit display).
juce::Image grab (juce::Rectangle<int> screenArea);
bool samePixels (const juce::Image& a, const juce::Image& b);

// A left click at a screen position through the XTest extension, with the
// host's message loop pumped between the events so both sides see each one.
void click (juce::Point<int> screenPosition);

// Runs the host's message loop until the condition holds or the time is up.
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs);
inline void pump (int milliseconds) { juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds); }
} // namespace xscreen
