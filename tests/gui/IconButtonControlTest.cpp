#include "gui/IconButtonControl.h"
#include "BinaryData.h"
#include "gui/KnobNameLabel.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"

namespace
{
using namespace qnmr::gui;
using testutil::countPixels;

constexpr juce::uint32 white = 0xffffffff;
constexpr juce::uint32 blue = 0xff2660a4;
constexpr juce::uint32 red = 0xffee6c4d;

std::unique_ptr<juce::Drawable> icon (const char* data, int size)
{
    return juce::Drawable::createFromImageData (data, (size_t) size);
}

std::unique_ptr<IconButtonControl> menuButton()
{
    return std::make_unique<IconButtonControl> (icon (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize),
                                                icon (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize));
}

// A 96 x 96 button shows its 24-unit icon at 2x, with strokes 4 px wide, so
// the strokes have many pixels of exactly the icon's colour.
struct Counts
{
    int white, blue, red;
};

Counts countsOf (juce::Button& button)
{
    const auto img = testutil::render (button);
    return {countPixels (img, white), countPixels (img, blue), countPixels (img, red)};
}

Counts idle (juce::Button& button)
{
    button.setToggleState (false, juce::dontSendNotification);
    return countsOf (button);
}

Counts toggledOn (juce::Button& button)
{
    button.setToggleState (true, juce::dontSendNotification);
    const auto c = countsOf (button);
    button.setToggleState (false, juce::dontSendNotification);
    return c;
}
} // namespace

TEST (IconButton, ActiveIconFollowsTheThemeAndNormalIconStaysWhite)
{
    QWLookAndFeel blueTheme;
    QWLookAndFeelRed redTheme;
    juce::Component parent;
    auto button = menuButton();
    parent.addAndMakeVisible (*button);
    button->setBounds (0, 0, 96, 96);

    // As in the editor: the theme is set on the parent once its children exist.
    parent.setLookAndFeel (&blueTheme);

    auto on = toggledOn (*button);
    EXPECT_GT (on.blue, 100);
    EXPECT_EQ (on.white, 0);
    auto off = idle (*button);
    EXPECT_GT (off.white, 100);
    EXPECT_EQ (off.blue, 0);

    // Pressing (not toggled) shows the active icon too.
    button->setState (juce::Button::buttonDown);
    EXPECT_GT (countsOf (*button).blue, 100);
    button->setState (juce::Button::buttonNormal);

    parent.setLookAndFeel (&redTheme);
    on = toggledOn (*button);
    EXPECT_GT (on.red, 100);
    EXPECT_EQ (on.blue, 0);
    EXPECT_EQ (on.white, 0);
    off = idle (*button);
    EXPECT_GT (off.white, 100);
    EXPECT_EQ (off.red, 0);

    parent.setLookAndFeel (&blueTheme);
    on = toggledOn (*button);
    EXPECT_GT (on.blue, 100);
    EXPECT_EQ (on.red, 0);
    EXPECT_GT (idle (*button).white, 100);

    parent.removeChildComponent (button.get());
    parent.setLookAndFeel (nullptr);
}

TEST (IconButton, PartsAlreadyInTheNewAccentCannotBeToldApartAfterAChange)
{
    // An active icon with a part already drawn in red: after blue -> red -> blue
    // that part has turned blue with the rest, as replacement is by exact colour.
    const juce::String svg = "<svg viewBox=\"0 0 24 24\" xmlns=\"http://www.w3.org/2000/svg\">"
                             "<rect x=\"0\" y=\"0\" width=\"12\" height=\"24\" style=\"fill:white;\"/>"
                             "<rect x=\"12\" y=\"0\" width=\"12\" height=\"24\" style=\"fill:#ee6c4d;\"/></svg>";
    QWLookAndFeel blueTheme;
    QWLookAndFeelRed redTheme;
    juce::Component parent;
    IconButtonControl button (juce::Drawable::createFromSVG (*juce::parseXML (svg)),
                              juce::Drawable::createFromSVG (*juce::parseXML (svg)));
    parent.addAndMakeVisible (button);
    button.setBounds (0, 0, 96, 96);
    parent.setLookAndFeel (&blueTheme);

    const auto before = toggledOn (button);
    EXPECT_GT (before.blue, 100);
    EXPECT_GT (before.red, 100);

    parent.setLookAndFeel (&redTheme);
    parent.setLookAndFeel (&blueTheme);
    const auto after = toggledOn (button);
    EXPECT_EQ (after.red, 0);
    EXPECT_GT (after.blue, before.blue);

    parent.removeChildComponent (&button);
    parent.setLookAndFeel (nullptr);
}

TEST (IconButton, MissingDrawablesLeaveStatesEmptyInsteadOfCrashing)
{
    QWLookAndFeel blueTheme;
    IconButtonControl noActive (icon (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize), nullptr);
    noActive.setLookAndFeel (&blueTheme);
    noActive.setBounds (0, 0, 96, 96);
    EXPECT_GT (idle (noActive).white, 100);
    noActive.setLookAndFeel (nullptr);
    EXPECT_GT (toggledOn (noActive).white, 100) << "the framework falls back to the normal image";

    IconButtonControl noNormal (nullptr, icon (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize));
    noNormal.setBounds (0, 0, 96, 96);
    EXPECT_EQ (idle (noNormal).white, 0);
}

TEST (KnobNameLabel, CentredTwelvePixelCaptionInTheLabelColour)
{
    QWLookAndFeel lf;
    KnobNameLabel caption ("TIME");
    caption.setLookAndFeel (&lf);
    caption.setBounds (0, 0, 60, 16);
    EXPECT_EQ (caption.getText(), "TIME");
    EXPECT_EQ (caption.getFont().getHeight(), 12.0f);
    EXPECT_FALSE (caption.isEditable());

    const auto img = testutil::render (caption);
    caption.setLookAndFeel (nullptr);

    // The text's ink is centred: as far from the left edge as from the right.
    int left = 60, right = -1, top = 16, bottom = -1;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 60; ++x)
            if (img.getPixelAt (x, y).getAlpha() > 64)
            {
                left = juce::jmin (left, x);
                right = juce::jmax (right, x);
                top = juce::jmin (top, y);
                bottom = juce::jmax (bottom, y);
            }
    ASSERT_GE (right, left);
    EXPECT_LE (std::abs (left - (59 - right)), 2);
    EXPECT_LE (std::abs (top - (15 - bottom)), 3);
    EXPECT_LE (bottom - top + 1, 12);

    // Label colours are the framework's: the most opaque ink pixel carries the label text colour.
    const auto textColour = lf.findColour (juce::Label::textColourId);
    juce::Colour strongest;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 60; ++x)
            if (img.getPixelAt (x, y).getAlpha() > strongest.getAlpha())
                strongest = img.getPixelAt (x, y);
    EXPECT_GT (strongest.getAlpha(), 200);
    EXPECT_NEAR (strongest.getRed(), textColour.getRed(), 3);
    EXPECT_NEAR (strongest.getGreen(), textColour.getGreen(), 3);
    EXPECT_NEAR (strongest.getBlue(), textColour.getBlue(), 3);
}
