#include "gui/GenericPanelView.h"

namespace qnmr::gui
{
GenericPanelView::GenericPanelView() = default;

GenericPanelView::GenericPanelView (const juce::String& title)
{
    header = std::make_unique<PanelHeaderComponent> (title);
    addAndMakeVisible (*header);
}

GenericPanelView::~GenericPanelView() = default;

void GenericPanelView::paint (juce::Graphics& g)
{
    g.fillAll (getLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId));
}

void GenericPanelView::resized()
{
    if (header != nullptr)
        header->setBounds (0, 0, getWidth(), headerHeight);
}
} // namespace qnmr::gui
