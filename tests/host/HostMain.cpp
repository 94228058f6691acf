#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

#include "presets/TempHome.h"

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    // The plug-in creates its preset folder under $HOME; keep it off the real one.
    TempHome home;
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
