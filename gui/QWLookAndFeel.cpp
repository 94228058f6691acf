#include "gui/QWLookAndFeel.h"

namespace qnmr::gui
{
QWLookAndFeel::QWLookAndFeel()
{
    const juce::Colour window (windowBackground);
    const juce::Colour grey (panelGrey);

    setAccent (juce::Colour (accentBlue));
    setColour (juce::ResizableWindow::backgroundColourId, window);
    setColour (juce::Slider::backgroundColourId, grey);
    setColour (juce::BubbleComponent::backgroundColourId, juce::Colours::black);
    setColour (juce::BubbleComponent::outlineColourId, grey);
    setColour (juce::TooltipWindow::textColourId, juce::Colours::white);
    setColour (juce::TooltipWindow::backgroundColourId, juce::Colours::black);
    setColour (juce::TooltipWindow::outlineColourId, grey);
    setColour (juce::Slider::textBoxBackgroundColourId, juce::Colours::black);
    setColour (juce::Slider::textBoxOutlineColourId, grey);
    setColour (juce::ComboBox::backgroundColourId, window.brighter (0.1f));
    setColour (juce::PopupMenu::backgroundColourId, window.darker (0.4f));
    setColour (juce::PopupMenu::highlightedBackgroundColourId, grey);
    setColour (juce::TextButton::buttonColourId, window.brighter (0.1f));
    setColour (juce::TextButton::buttonOnColourId, juce::Colours::black);
    setColour (juce::TextButton::textColourOffId, juce::Colours::white);
}

void QWLookAndFeel::setAccent (juce::Colour accent)
{
    setColour (juce::Slider::rotarySliderFillColourId, accent);
    setColour (juce::Slider::textBoxTextColourId, accent);
    setColour (juce::TextButton::textColourOnId, accent);
}

//==============================================================================
void QWLookAndFeel::drawRotarySlider (juce::Graphics& g, int x, int y, int width, int height,
                                      float sliderPos, float startAngle, float endAngle,
                                      juce::Slider& slider)
{
    const bool bipolar = static_cast<int> (slider.getProperties().getWithDefault ("bipolar", 0)) == 1;

    // Only the shorter side counts, so a knob in a tall or wide box stays round and centred.
    const float radius = juce::jmin ((float) width / 2.0f, (float) height / 2.0f) - 2.0f;
    const float centreX = (float) x + (float) width / 2.0f;
    const float centreY = (float) y + (float) height / 2.0f;
    const juce::Rectangle<float> knob (centreX - radius, centreY - radius, 2.0f * radius, 2.0f * radius);
    const float valueAngle = startAngle + sliderPos * (endAngle - startAngle);

    const auto outline = slider.findColour (juce::Slider::backgroundColourId);
    const float alpha = slider.isEnabled() ? 1.0f : 0.5f;
    const auto pointerColour = slider.findColour (juce::Slider::rotarySliderFillColourId).withAlpha (alpha);
    const auto arcColour = pointerColour.withMultipliedAlpha (0.8f);

    juce::Path track;
    track.addPieSegment (knob, startAngle, endAngle, 0.0f);
    g.setColour (outline.brighter (0.1f));
    g.fillPath (track);

    // Bipolar knobs grow their arc out of 12 o'clock (2 pi, the middle of the
    // travel); the skew of the range is honoured through the value's proportion.
    constexpr float twelveOClock = juce::MathConstants<float>::twoPi;
    juce::Path arc;
    if (bipolar)
    {
        if (slider.valueToProportionOfLength (slider.getValue()) < 0.5)
            arc.addPieSegment (knob, valueAngle, twelveOClock, 0.0f);
        else
            arc.addPieSegment (knob, twelveOClock, valueAngle, 0.0f);
    }
    else
    {
        arc.addPieSegment (knob, startAngle, valueAngle, 0.0f);
    }
    g.setColour (arcColour);
    g.fillPath (arc);

    // The mask leaves a 2 px ring of track and arc at the edge.
    g.setColour (outline.darker (0.3f));
    g.fillEllipse (knob.reduced (2.0f));

    const float margin = 1.0f - 0.8f;
    const auto inner = knob.reduced (margin * radius);
    g.setColour (juce::Colours::black);
    g.fillEllipse (inner.translated (0.0f, 1.0f));
    g.setColour (outline.darker (0.1f));
    g.fillEllipse (inner.reduced (1.0f));

    // The pointer ends at 0.8 of the inner disc's radius (0.8 r).
    juce::Path pointer;
    pointer.addLineSegment ({ 0.0f, -0.3f * radius, 0.0f, -(0.8f * 0.8f) * radius }, 0.04f * (2.0f * radius));
    pointer.applyTransform (juce::AffineTransform::rotation (valueAngle).translated (centreX, centreY));
    g.setColour (pointerColour);
    g.fillPath (pointer);
}

//==============================================================================
// The increment/decrement style is reduced to a bare value box: no track,
// step buttons that paint nothing, and a text box covering the whole control.
void QWLookAndFeel::drawLinearSlider (juce::Graphics& g, int x, int y, int width, int height,
                                      float sliderPos, float minSliderPos, float maxSliderPos,
                                      juce::Slider::SliderStyle style, juce::Slider& slider)
{
    if (style == juce::Slider::IncDecButtons)
        return;

    juce::LookAndFeel_V4::drawLinearSlider (g, x, y, width, height, sliderPos, minSliderPos,
                                            maxSliderPos, style, slider);
}

juce::Slider::SliderLayout QWLookAndFeel::getSliderLayout (juce::Slider& slider)
{
    if (slider.getSliderStyle() == juce::Slider::IncDecButtons)
    {
        juce::Slider::SliderLayout layout;
        layout.sliderBounds = slider.getLocalBounds();
        layout.textBoxBounds = slider.getLocalBounds();
        return layout;
    }

    return juce::LookAndFeel_V2::getSliderLayout (slider);
}

juce::Button* QWLookAndFeel::createSliderButton (juce::Slider&, bool)
{
    return new TransparentButton (juce::String());
}

juce::Label* QWLookAndFeel::createSliderTextBox (juce::Slider& slider)
{
    auto* label = juce::LookAndFeel_V4::createSliderTextBox (slider);
    label->setFont (juce::Font (12.0f, juce::Font::plain));
    return label;
}

//==============================================================================
void QWLookAndFeel::drawBubble (juce::Graphics& g, juce::BubbleComponent& bubble,
                                const juce::Point<float>&, const juce::Rectangle<float>& body)
{
    // No arrow: the value pop-up is a plain box with a 1 px outline.
    g.setColour (bubble.findColour (juce::BubbleComponent::outlineColourId));
    g.fillRoundedRectangle (body, 2.0f);
    g.setColour (bubble.findColour (juce::BubbleComponent::backgroundColourId));
    g.fillRoundedRectangle (body.reduced (1.0f), 2.0f);
}

void QWLookAndFeel::drawComboBox (juce::Graphics& g, int width, int height, bool,
                                  int, int, int, int, juce::ComboBox& box)
{
    const float cornerSize = box.findParentComponentOfClass<juce::ChoicePropertyComponent>() != nullptr ? 0.0f : 3.0f;
    const juce::Rectangle<float> body (0.0f, 0.0f, (float) width, (float) (height - juce::jmin (1, height)));

    // The black copy one pixel lower shows as a dark edge under the body.
    g.setColour (juce::Colours::black);
    g.fillRoundedRectangle (body.translated (0.0f, 1.0f), cornerSize);
    g.setColour (box.findColour (juce::ComboBox::backgroundColourId));
    g.fillRoundedRectangle (body, cornerSize);

    const int centreY = height / 2;
    const float left = (float) (width - 20);
    juce::Path arrow;
    arrow.startNewSubPath (left + 3.0f, (float) centreY - 2.0f);
    arrow.lineTo (left + 7.0f, (float) centreY + 3.0f);
    arrow.lineTo (left + 11.0f, (float) centreY - 2.0f);
    g.setColour (box.findColour (juce::ComboBox::arrowColourId).withAlpha (box.isEnabled() ? 0.9f : 0.2f));
    g.strokePath (arrow, juce::PathStrokeType (1.0f));
}

void QWLookAndFeel::drawTooltip (juce::Graphics& g, const juce::String& text, int width, int height)
{
    const auto bounds = juce::Rectangle<int> (width, height).toFloat();
    g.setColour (findColour (juce::TooltipWindow::backgroundColourId));
    g.fillRoundedRectangle (bounds, 5.0f);

    g.setColour (findColour (juce::TooltipWindow::outlineColourId));
    g.drawRoundedRectangle (0.5f, 0.5f, juce::jmax (0.0f, (float) width - 1.0f),
                            juce::jmax (0.0f, (float) height - 1.0f), 5.0f, 1.0f);

    juce::AttributedString attributed;
    attributed.setJustification (juce::Justification::centredLeft);
    attributed.append (text, juce::Font (12.0f, juce::Font::plain), findColour (juce::TooltipWindow::textColourId));

    juce::TextLayout layout;
    layout.createLayoutWithBalancedLineLengths (attributed, 400.0f);
    layout.draw (g, { 10.0f, 0.0f, (float) width - 10.0f, (float) height });
}

//==============================================================================
void QWLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button,
                                          const juce::Colour& backgroundColour, bool, bool isDown)
{
    constexpr float cornerSize = 4.0f;
    const auto body = button.getLocalBounds().toFloat().reduced (0.5f).withTrimmedBottom (1.0f);

    g.setColour (juce::Colours::black);
    g.fillRoundedRectangle (body.translated (0.0f, 1.0f), cornerSize);

    auto colour = backgroundColour.withMultipliedAlpha (button.isEnabled() ? 1.0f : 0.5f);
    if (isDown)
        colour = colour.darker (0.4f);
    g.setColour (colour);

    // Corners on a connected edge stay square so that joined buttons read as one bar.
    if (button.isConnectedOnLeft() || button.isConnectedOnRight()
        || button.isConnectedOnTop() || button.isConnectedOnBottom())
    {
        const bool left = button.isConnectedOnLeft();
        const bool right = button.isConnectedOnRight();
        const bool top = button.isConnectedOnTop();
        const bool bottom = button.isConnectedOnBottom();

        juce::Path path;
        path.addRoundedRectangle (body.getX(), body.getY(), body.getWidth(), body.getHeight(),
                                  cornerSize, cornerSize,
                                  ! (left || top), ! (right || top),
                                  ! (left || bottom), ! (right || bottom));
        g.fillPath (path);
    }
    else
    {
        g.fillRoundedRectangle (body, cornerSize);
    }
}
} // namespace qnmr::gui
