#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"
#include "gui/TextSliderControl.h"

namespace
{
using namespace qnmr::gui;
using testutil::pixelIs;
using testutil::pixelNear;

constexpr juce::uint32 blue = 0xff2660a4;
constexpr juce::uint32 grey = 0xff232323;
constexpr juce::uint32 black = 0xff000000;

struct TestBubble : public juce::BubbleComponent
{
    void getContentSize (int& w, int& h) override { w = h = 10; }
    void paintContent (juce::Graphics&, int, int) override {}
};

/** Holds a component under a look-and-feel for the length of a test. */
template <typename ComponentType>
struct Themed
{
    template <typename... Args>
    explicit Themed (Args&&... args)
        : component (std::forward<Args> (args)...)
    {
        component.setLookAndFeel (&lf);
    }
    ~Themed() { component.setLookAndFeel (nullptr); }

    QWLookAndFeel lf;
    ComponentType component;
};
} // namespace

TEST (ValueBox, ShowsOnlyItsTextOverTheWholeControl)
{
    for (auto position : {juce::Slider::TextBoxAbove, juce::Slider::TextBoxLeft, juce::Slider::NoTextBox})
    {
        Themed<TextSliderControl> box;
        auto& slider = box.component;
        slider.setTextBoxStyle (position, true, 60, 16);
        slider.setRange (0.0, 100.0, 1.0);
        slider.setValue (42.0, juce::dontSendNotification);
        slider.setBounds (0, 0, 60, 16);

        juce::Label* label = nullptr;
        int transparentButtons = 0;
        for (auto* child : slider.getChildren())
        {
            if (auto* l = dynamic_cast<juce::Label*> (child))
                label = l;
            if (auto* b = dynamic_cast<QWLookAndFeel::TransparentButton*> (child))
            {
                ++transparentButtons;
                EXPECT_TRUE (b->getButtonText().isEmpty());
                EXPECT_GT (slider.getIndexOfChildComponent (b), slider.getIndexOfChildComponent (label)) << "buttons lie on top";
            }
        }
        if (position == juce::Slider::NoTextBox)
        {
            EXPECT_EQ (label, nullptr);
            continue;
        }
        ASSERT_NE (label, nullptr);
        EXPECT_EQ (transparentButtons, 2);
        EXPECT_EQ (label->getBounds(), juce::Rectangle<int> (0, 0, 60, 16));
        EXPECT_EQ (label->getFont().getHeight(), 12.0f);
        EXPECT_FALSE (label->isEditable());

        // The framework's label draws a 1 px outline; inside it there is only
        // black and the accent's text, anti-aliased on black: every pixel is a
        // darkened accent, never a button body or track.
        const auto img = testutil::render (slider);
        EXPECT_TRUE (pixelIs (img, 30, 0, grey));
        EXPECT_TRUE (pixelIs (img, 0, 8, grey));
        int textPixels = 0;
        for (int y = 1; y < 15; ++y)
            for (int x = 1; x < 59; ++x)
            {
                const auto c = img.getPixelAt (x, y);
                ASSERT_EQ (c.getAlpha(), 255);
                const float k = (float) c.getBlue() / (float) 0xa4;
                EXPECT_NEAR (c.getRed(), k * 0x26, 2.0f) << x << "," << y;
                EXPECT_NEAR (c.getGreen(), k * 0x60, 2.0f) << x << "," << y;
                textPixels += k > 0.75f ? 1 : 0;
            }
        EXPECT_GT (textPixels, 5);
    }
}

TEST (ValueBox, StepButtonsChangeTheValueByTheInterval)
{
    Themed<TextSliderControl> box;
    auto& slider = box.component;
    slider.setRange (0.0, 10.0, 0.5);
    slider.setValue (5.0, juce::dontSendNotification);
    slider.setBounds (0, 0, 60, 16);

    std::vector<juce::Button*> buttons;
    for (auto* child : slider.getChildren())
        if (auto* b = dynamic_cast<juce::Button*> (child))
            buttons.push_back (b);
    ASSERT_EQ (buttons.size(), 2u);
    for (auto* b : buttons)
    {
        EXPECT_TRUE (slider.getLocalBounds().contains (b->getBounds()));
        ASSERT_TRUE (b->onClick != nullptr);
        b->onClick();
    }
    EXPECT_EQ (slider.getValue(), 5.0);
    buttons.front()->onClick();
    EXPECT_NE (slider.getValue(), 5.0);
    EXPECT_EQ (std::abs (slider.getValue() - 5.0), 0.5);
}

TEST (ValueBox, LinearSliderDrawingIsSkippedOnlyForTheValueBoxStyle)
{
    QWLookAndFeel lf;
    juce::LookAndFeel_V4 plain;
    juce::Slider slider (juce::Slider::LinearHorizontal, juce::Slider::NoTextBox);
    slider.setBounds (0, 0, 100, 20);
    slider.setValue (0.3);

    const auto nothing = testutil::draw (100, 20, 1, [&] (juce::Graphics& g)
                                         { lf.drawLinearSlider (g, 0, 0, 100, 20, 30.0f, 0.0f, 100.0f, juce::Slider::IncDecButtons, slider); });
    EXPECT_EQ (testutil::countPixels (nothing, 0), 100 * 20);

    const auto ours = testutil::draw (100, 20, 1, [&] (juce::Graphics& g)
                                      { lf.drawLinearSlider (g, 0, 0, 100, 20, 30.0f, 0.0f, 100.0f, juce::Slider::LinearHorizontal, slider); });
    const auto framework = testutil::draw (100, 20, 1, [&] (juce::Graphics& g)
                                           { plain.drawLinearSlider (g, 0, 0, 100, 20, 30.0f, 0.0f, 100.0f, juce::Slider::LinearHorizontal, slider); });
    int different = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x)
            different += ours.getPixelAt (x, y) != framework.getPixelAt (x, y) ? 1 : 0;
    EXPECT_EQ (different, 0);
    EXPECT_LT (testutil::countPixels (ours, 0), 100 * 20);

    // Other styles keep the framework's layout.
    EXPECT_EQ (lf.getSliderLayout (slider).sliderBounds, plain.getSliderLayout (slider).sliderBounds);
}

TEST (Bubble, OutlinedBoxWithoutArrow)
{
    Themed<TestBubble> bubble;
    const juce::Rectangle<float> body (10.0f, 10.0f, 40.0f, 20.0f);
    for (auto tip : {juce::Point<float> (30.0f, 2.0f), juce::Point<float> (30.0f, 38.0f), juce::Point<float> (2.0f, 20.0f)})
    {
        const auto img = testutil::draw (60, 40, 1, [&] (juce::Graphics& g)
                                         { bubble.lf.drawBubble (g, bubble.component, tip, body); });
        EXPECT_TRUE (pixelIs (img, 30, 10, grey));
        EXPECT_TRUE (pixelIs (img, 30, 29, grey));
        EXPECT_TRUE (pixelIs (img, 10, 20, grey));
        EXPECT_TRUE (pixelIs (img, 30, 11, black));
        EXPECT_TRUE (pixelIs (img, 46, 26, black));
        EXPECT_LT (img.getPixelAt (10, 10).getAlpha(), 255) << "rounded corner";

        // Everything outside the body stays empty, wherever the tip is.
        int outside = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 60; ++x)
                if (!body.contains ((float) x + 0.5f, (float) y + 0.5f))
                    outside += img.getPixelAt (x, y).getAlpha() != 0 ? 1 : 0;
        EXPECT_EQ (outside, 0);
    }
}

TEST (ComboBox, RoundedBodyOverADarkEdge)
{
    Themed<juce::ComboBox> combo;
    combo.component.setBounds (0, 0, 120, 24);
    const auto img = testutil::draw (120, 24, 1, [&] (juce::Graphics& g)
                                     { combo.lf.drawComboBox (g, 120, 24, false, 0, 0, 0, 0, combo.component); });
    EXPECT_TRUE (pixelIs (img, 50, 12, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 50, 0, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 50, 22, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 50, 23, black));
    EXPECT_LT (img.getPixelAt (0, 0).getAlpha(), 255);
    EXPECT_LT (img.getPixelAt (119, 0).getAlpha(), 200);

    // Inside a property panel's choice component the corners are square.
    juce::Value value;
    juce::ChoicePropertyComponent property (value, "choice", {"a"}, {1});
    property.addAndMakeVisible (combo.component);
    const auto square = testutil::draw (120, 24, 1, [&] (juce::Graphics& g)
                                        { combo.lf.drawComboBox (g, 120, 24, false, 0, 0, 0, 0, combo.component); });
    property.removeChildComponent (&combo.component);
    EXPECT_TRUE (pixelIs (square, 0, 0, 0xff2d2d2d));
    EXPECT_GT (square.getPixelAt (119, 0).getAlpha(), 250);
    EXPECT_TRUE (pixelIs (square, 0, 23, black));
}

TEST (ComboBox, ArrowAlphaFollowsEnablement)
{
    // At 8x the 1 px arrow is 8 px thick; its middle, (105, 12.5) for a
    // 120 x 24 box, is wholly covered.
    Themed<juce::ComboBox> combo;
    combo.component.setBounds (0, 0, 120, 24);
    const auto arrow = combo.component.findColour (juce::ComboBox::arrowColourId);
    const juce::Colour bodyColour (0xff2d2d2d);

    for (bool enabled : {true, false})
    {
        combo.component.setEnabled (enabled);
        const auto img = testutil::draw (120, 24, 8, [&] (juce::Graphics& g)
                                         { combo.lf.drawComboBox (g, 120, 24, false, 0, 0, 0, 0, combo.component); });
        const auto expected = testutil::over (bodyColour, arrow.withAlpha (enabled ? 0.9f : 0.2f));
        EXPECT_TRUE (pixelNear (img, 105 * 8, 100, expected)) << enabled;
        EXPECT_TRUE (pixelIs (img, 50 * 8, 100, bodyColour.getARGB()));
    }
}

TEST (Tooltip, BlackRoundedBoxWithGreyOutlineAndWhiteText)
{
    QWLookAndFeel lf;
    const auto empty = testutil::draw (100, 30, 1, [&] (juce::Graphics& g)
                                       { lf.drawTooltip (g, {}, 100, 30); });
    EXPECT_TRUE (pixelIs (empty, 50, 0, grey));
    EXPECT_TRUE (pixelNear (empty, 50, 29, juce::Colour (grey)));
    EXPECT_TRUE (pixelNear (empty, 0, 15, juce::Colour (grey)));
    EXPECT_TRUE (pixelNear (empty, 99, 15, juce::Colour (grey)));
    EXPECT_LT (empty.getPixelAt (0, 0).getAlpha(), 255);
    int notBlack = 0;
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 95; ++x)
            notBlack += empty.getPixelAt (x, y).getARGB() != black ? 1 : 0;
    EXPECT_EQ (notBlack, 0) << "empty text draws nothing inside";

    const auto text = testutil::draw (100, 30, 1, [&] (juce::Graphics& g)
                                      { lf.drawTooltip (g, "TIME", 100, 30); });
    int white = 0, leftOfText = 0;
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 95; ++x)
        {
            const auto c = text.getPixelAt (x, y);
            EXPECT_TRUE (c.getRed() == c.getGreen() && c.getGreen() == c.getBlue()) << "grey levels only";
            white += c.getRed() > 200 ? 1 : 0;
            leftOfText += (x < 9 && c.getARGB() != black) ? 1 : 0;
        }
    EXPECT_GT (white, 5);
    EXPECT_EQ (leftOfText, 0) << "text starts at x = 10";
}

namespace
{
// Buttons render at 2x: the body spans (1, 1) .. (199, 57) and the black
// layer under it (1, 3) .. (199, 59) for a 100 x 30 button.
juce::Image renderButton (juce::TextButton& button) { return testutil::render (button, 2); }
} // namespace

TEST (ButtonBody, ColoursForEachState)
{
    Themed<juce::TextButton> themed;
    auto& button = themed.component;
    button.setBounds (0, 0, 100, 30);

    auto img = renderButton (button);
    EXPECT_TRUE (pixelIs (img, 100, 2, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 100, 30, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 100, 56, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 100, 57, black));
    EXPECT_TRUE (pixelIs (img, 100, 58, black));
    EXPECT_EQ (img.getPixelAt (100, 0).getAlpha(), 0);
    EXPECT_LT (img.getPixelAt (1, 1).getAlpha(), 255) << "rounded corner";

    button.setState (juce::Button::buttonOver);
    const auto hovered = renderButton (button);
    EXPECT_TRUE (pixelIs (hovered, 100, 30, 0xff2d2d2d));

    button.setState (juce::Button::buttonDown);
    img = renderButton (button);
    EXPECT_TRUE (pixelIs (img, 100, 30, 0xff202020));
    button.setState (juce::Button::buttonNormal);

    button.setToggleState (true, juce::dontSendNotification);
    img = renderButton (button);
    EXPECT_TRUE (pixelIs (img, 100, 2, black));
    button.setToggleState (false, juce::dontSendNotification);

    button.setEnabled (false);
    img = renderButton (button);
    EXPECT_TRUE (pixelNear (img, 100, 2, juce::Colour (0xff2d2d2d).withAlpha ((juce::uint8) 128), 3));
    EXPECT_TRUE (pixelNear (img, 100, 30, testutil::over (juce::Colours::black, juce::Colour (0xff2d2d2d).withAlpha ((juce::uint8) 128))));
}

TEST (ButtonBody, ConnectedEdgesHaveSquareCorners)
{
    Themed<juce::TextButton> themed;
    auto& button = themed.component;
    button.setBounds (0, 0, 100, 30);
    button.setConnectedEdges (juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight);

    auto img = renderButton (button);
    for (auto corner : {juce::Point<int> (1, 1), juce::Point<int> (198, 1), juce::Point<int> (1, 56), juce::Point<int> (198, 56)})
        EXPECT_TRUE (pixelIs (img, corner.x, corner.y, 0xff2d2d2d));
    // The black layer under the body keeps its rounded corners.
    EXPECT_LT (img.getPixelAt (1, 58).getAlpha(), 255);
    EXPECT_LT (img.getPixelAt (198, 58).getAlpha(), 255);

    // Connected at the top only: the two top corners square, the bottom ones rounded.
    button.setConnectedEdges (juce::Button::ConnectedOnTop);
    img = renderButton (button);
    EXPECT_TRUE (pixelIs (img, 1, 1, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 198, 1, 0xff2d2d2d));
    EXPECT_NE (img.getPixelAt (1, 56).getARGB(), 0xff2d2d2d);
    EXPECT_NE (img.getPixelAt (198, 56).getARGB(), 0xff2d2d2d);

    button.setConnectedEdges (juce::Button::ConnectedOnLeft);
    img = renderButton (button);
    EXPECT_TRUE (pixelIs (img, 1, 1, 0xff2d2d2d));
    EXPECT_TRUE (pixelIs (img, 1, 56, 0xff2d2d2d));
    EXPECT_NE (img.getPixelAt (198, 1).getARGB(), 0xff2d2d2d);
}
