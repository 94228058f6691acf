#pragma once

#include "gui/PanelHeaderComponent.h"

#include <memory>

namespace qnmr::gui
{
/** The base of the editor's panels: the window background, and for a titled
    panel a 30 px header strip along the top. Subclasses that lay out children
    call GenericPanelView::resized first and keep below y = 30. */
class GenericPanelView : public juce::Component
{
public:
    static constexpr int headerHeight = 30;

    /** A panel without header. */
    GenericPanelView();
    explicit GenericPanelView (const juce::String& title);
    ~GenericPanelView() override;

    void paint (juce::Graphics&) override;
    void resized() override;

private:
    std::unique_ptr<PanelHeaderComponent> header;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (GenericPanelView)
};
} // namespace qnmr::gui
