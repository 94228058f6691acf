#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

namespace qnmr::gui
{
/** The toolkit's dark, flat look-and-feel with one accent colour.

    The base class is the "blue" theme; the variants below change only the
    accent. Every drawing method reads its colours through colour ids, so a
    component repaints in the new accent as soon as its look-and-feel changes.
*/
class QWLookAndFeel : public juce::LookAndFeel_V4
{
public:
    // Palette (ARGB).
    static constexpr juce::uint32 windowBackground = 0xff191919;
    static constexpr juce::uint32 panelGrey = 0xff232323;
    static constexpr juce::uint32 accentBlue = 0xff2660a4;
    static constexpr juce::uint32 accentTeal = 0xff28afb0;
    static constexpr juce::uint32 accentGreen = 0xff77ff94;
    static constexpr juce::uint32 accentYellow = 0xfffdca40;
    static constexpr juce::uint32 accentRed = 0xffee6c4d;
    static constexpr juce::uint32 accentPink = 0xffd14081;
    static constexpr juce::uint32 accentPurple = 0xff6564db;

    /** A text button that paints nothing but keeps the button's mouse
        handling; it turns the slider's step buttons into invisible hit areas. */
    class TransparentButton : public juce::TextButton
    {
    public:
        using juce::TextButton::TextButton;
        void paint (juce::Graphics&) override {}
    };

    QWLookAndFeel();

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool shouldDrawButtonAsHighlighted, bool shouldDrawButtonAsDown) override;

    void drawBubble (juce::Graphics&, juce::BubbleComponent&, const juce::Point<float>& tip,
                     const juce::Rectangle<float>& body) override;

    void drawComboBox (juce::Graphics&, int width, int height, bool isButtonDown,
                       int buttonX, int buttonY, int buttonW, int buttonH, juce::ComboBox&) override;

    void drawLinearSlider (juce::Graphics&, int x, int y, int width, int height,
                           float sliderPos, float minSliderPos, float maxSliderPos,
                           juce::Slider::SliderStyle, juce::Slider&) override;

    void drawRotarySlider (juce::Graphics&, int x, int y, int width, int height,
                           float sliderPosProportional, float rotaryStartAngle,
                           float rotaryEndAngle, juce::Slider&) override;

    juce::Button* createSliderButton (juce::Slider&, bool isIncrement) override;
    juce::Label* createSliderTextBox (juce::Slider&) override;
    juce::Slider::SliderLayout getSliderLayout (juce::Slider&) override;

    void drawTooltip (juce::Graphics&, const juce::String& text, int width, int height) override;

protected:
    /** Sets the three colour ids that carry the accent. */
    void setAccent (juce::Colour accent);

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (QWLookAndFeel)
};

class QWLookAndFeelTeal : public QWLookAndFeel
{
public:
    QWLookAndFeelTeal() { setAccent (juce::Colour (accentTeal)); }
};

class QWLookAndFeelGreen : public QWLookAndFeel
{
public:
    QWLookAndFeelGreen() { setAccent (juce::Colour (accentGreen)); }
};

class QWLookAndFeelYellow : public QWLookAndFeel
{
public:
    QWLookAndFeelYellow() { setAccent (juce::Colour (accentYellow)); }
};

class QWLookAndFeelRed : public QWLookAndFeel
{
public:
    QWLookAndFeelRed() { setAccent (juce::Colour (accentRed)); }
};

class QWLookAndFeelPink : public QWLookAndFeel
{
public:
    QWLookAndFeelPink() { setAccent (juce::Colour (accentPink)); }
};

class QWLookAndFeelPurple : public QWLookAndFeel
{
public:
    QWLookAndFeelPurple() { setAccent (juce::Colour (accentPurple)); }
};
} // namespace qnmr::gui
