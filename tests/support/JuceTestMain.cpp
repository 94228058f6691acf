#include "support/XErrorHandler.h"

#include <gtest/gtest.h>
#include <juce_events/juce_events.h>

int main (int argc, char** argv)
{
    ::testing::InitGoogleTest (&argc, argv);
    testutil::ignoreMissingAtomErrors();
    // Components, fonts and the message manager need JUCE's GUI subsystem.
    juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
