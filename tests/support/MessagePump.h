#pragma once

#include <juce_events/juce_events.h>

namespace juce
{
// The framework's own step of its dispatch loop. The plug-in is built without
// modal loops, so runDispatchLoopUntil does not exist in this build.
bool dispatchNextMessageOnSystemQueue (bool returnIfNoPendingMessages);
} // namespace juce

namespace testutil
{
// Delivers timer callbacks, async updates and action messages for a while.
inline void pumpMessages (int milliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) milliseconds;
    while (juce::Time::getMillisecondCounter() < end)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::sleep (1);
}
} // namespace testutil
