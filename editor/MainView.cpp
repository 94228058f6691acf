#include "editor/MainView.h"

namespace plb
{
namespace
{
    // What Rectangle::removeFrom* take, never less than nothing: the computed
    // amounts go negative when the view is only a few pixels across.
    int amount (int wanted, int available) { return juce::jlimit (0, juce::jmax (0, available), wanted); }
} // namespace

MainView::MainView()
{
    // The tooltip window is always on top, so every panel added below slides
    // in behind it. As our child, its tips stay inside the editor and scale
    // with it; it shows itself when a tip is due.
    addChildComponent (*tooltipWindow);

    for (const char* title : { "LOW BAND", "HIGH BAND" })
        addAndMakeVisible (bandViews.add (new BandView (title)));

    addAndMakeVisible (bandSplitterView);
    addAndMakeVisible (outputView);
    addAndMakeVisible (footerView);
}

MainView::~MainView() = default;

void MainView::paint (juce::Graphics& g)
{
    // Shows through the gutters between the panels.
    g.fillAll (juce::Colours::black);
}

void MainView::resized()
{
    constexpr int gutter = 2;
    auto area = getLocalBounds().reduced (gutter);

    footerView.setBounds (area.removeFromBottom (amount (80, area.getHeight())).withTrimmedTop (gutter));

    const int third = (getWidth() - 2 * gutter) / 3;
    bandViews[0]->setBounds (area.removeFromLeft (amount (third, area.getWidth())));
    bandViews[1]->setBounds (area.removeFromRight (amount (third, area.getWidth())));

    auto column = area.withTrimmedLeft (gutter).withTrimmedRight (gutter);
    bandSplitterView.setBounds (column.removeFromTop (amount (column.getHeight() / 3 - 16, column.getHeight())));
    outputView.setBounds (column.withTrimmedTop (gutter));
}
} // namespace plb
