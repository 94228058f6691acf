#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace plb
{
/** A link mark (two small rings joined by a bar) laid into the gap between
    two related controls. Purely visual: bound to nothing, reacts to nothing. */
class ParameterLinkDecoration : public juce::Component
{
public:
    ParameterLinkDecoration();

    void paint (juce::Graphics&) override;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ParameterLinkDecoration)
};
} // namespace plb
