#include "BinaryData.h"
#include "editor/ParameterLinkDecoration.h"
#include "gui/GenericPanelView.h"
#include "gui/IconButtonControl.h"
#include "gui/KnobControl.h"
#include "gui/KnobNameLabel.h"
#include "gui/PixelTestUtils.h"
#include "gui/QWLookAndFeel.h"
#include "gui/TextSliderControl.h"

namespace
{
using namespace qnmr::gui;
using testutil::pixelIs;

constexpr juce::uint32 band = 0xff141414;
constexpr juce::uint32 rule = 0xff6f6f6f;
constexpr juce::uint32 window = 0xff191919;

juce::Label* titleLabelOf (juce::Component& header)
{
    for (auto* child : header.getChildren())
        if (auto* label = dynamic_cast<juce::Label*> (child))
            return label;
    return nullptr;
}
} // namespace

TEST (PanelView, TitledPanelHeaderBandRuleAndTitle)
{
    for (int theme = 0; theme < 2; ++theme)
    {
        QWLookAndFeel blue;
        QWLookAndFeelRed red;
        GenericPanelView panel ("LOW BAND");
        panel.setLookAndFeel (theme == 0 ? static_cast<QWLookAndFeel*> (&blue) : &red);
        panel.setBounds (0, 0, 265, 436);

        ASSERT_EQ (panel.getNumChildComponents(), 1);
        auto* header = panel.getChildComponent (0);
        EXPECT_EQ (header->getBounds(), juce::Rectangle<int> (0, 0, 265, 30));
        auto* title = titleLabelOf (*header);
        ASSERT_NE (title, nullptr);
        EXPECT_EQ (title->getBounds(), juce::Rectangle<int> (2, 2, 261, 25));
        EXPECT_EQ (title->getText(), "LOW BAND");
        EXPECT_EQ (title->getFont().getHeight(), 14.0f);

        const auto img = testutil::render (panel);
        panel.setLookAndFeel (nullptr);

        EXPECT_TRUE (pixelIs (img, 200, 1, band));
        EXPECT_TRUE (pixelIs (img, 264, 28, band));
        EXPECT_TRUE (pixelIs (img, 0, 29, rule));
        EXPECT_TRUE (pixelIs (img, 175, 29, rule));
        EXPECT_TRUE (pixelIs (img, 176, 29, band));
        EXPECT_TRUE (pixelIs (img, 264, 29, band));
        EXPECT_TRUE (pixelIs (img, 100, 30, window));
        EXPECT_TRUE (pixelIs (img, 264, 435, window));

        // The title is white whatever the theme: its ink is grey levels up to white.
        int whiteInk = 0;
        for (int y = 2; y < 27; ++y)
            for (int x = 2; x < 263; ++x)
            {
                const auto c = img.getPixelAt (x, y);
                ASSERT_TRUE (c.getRed() == c.getGreen() && c.getGreen() == c.getBlue()) << x << "," << y;
                whiteInk += c.getRed() > 200 ? 1 : 0;
            }
        EXPECT_GT (whiteInk, 10);
    }
}

TEST (PanelView, UntitledPanelPaintsOnlyTheBackground)
{
    QWLookAndFeelGreen lf;
    GenericPanelView panel;
    panel.setLookAndFeel (&lf);
    juce::Component child;
    panel.addAndMakeVisible (child);
    child.setBounds (5, 6, 7, 8);
    panel.setBounds (0, 0, 100, 50);
    EXPECT_EQ (child.getBounds(), juce::Rectangle<int> (5, 6, 7, 8));

    const auto img = testutil::render (panel);
    panel.setLookAndFeel (nullptr);
    EXPECT_EQ (testutil::countPixels (img, window), 100 * 50);
}

TEST (PanelView, HeaderRuleLengthAndDegenerateSizes)
{
    QWLookAndFeel lf;
    const auto ruleLength = [&] (int width, int height)
    {
        PanelHeaderComponent header ("X");
        header.setLookAndFeel (&lf);
        header.setBounds (0, 0, width, height);
        const auto img = testutil::render (header);
        header.setLookAndFeel (nullptr);
        int n = 0;
        for (int x = 0; x < width; ++x)
            n += img.getPixelAt (x, height - 1).getARGB() == rule ? 1 : 0;
        return n;
    };
    EXPECT_EQ (ruleLength (265, 30), 176);
    EXPECT_EQ (ruleLength (262, 30), 174);
    EXPECT_EQ (ruleLength (2, 30), 0);
    EXPECT_EQ (ruleLength (9, 1), 6);

    PanelHeaderComponent tiny ("X");
    tiny.setBounds (0, 0, 3, 4);
    ASSERT_NE (titleLabelOf (tiny), nullptr);
    EXPECT_EQ (titleLabelOf (tiny)->getBounds(), juce::Rectangle<int> (2, 2, 0, 0));
}

namespace
{
// A panel as the editor will build them, for people to look at.
struct SamplePanel : public GenericPanelView
{
    SamplePanel()
        : GenericPanelView ("LOW BAND")
    {
        for (auto* c : std::initializer_list<juce::Component*>{&time, &shift, &window, &timeName, &shiftName, &windowName, &sync, &mute, &menu})
            addAndMakeVisible (c);
        time.setRange (0.0, 1.0);
        time.setValue (0.7);
        shift.setRange (-12.0, 12.0);
        shift.setValue (-5.0);
        window.setRange (10.0, 200.0, 1.0);
        window.setValue (64.0);
        sync.setClickingTogglesState (true);
        sync.setToggleState (true, juce::dontSendNotification);
        addAndMakeVisible (link);
    }

    void resized() override
    {
        GenericPanelView::resized();
        time.setBounds (20, 50, 50, 50);
        timeName.setBounds (15, 100, 60, 16);
        shift.setBounds (100, 130, 50, 50);
        shiftName.setBounds (95, 180, 60, 16);
        window.setBounds (200, 147, 40, 16);
        windowName.setBounds (190, 180, 60, 16);
        link.setBounds (138, 130, 77, 50);
        link.toBack();
        sync.setBounds (20, 220, 40, 30);
        mute.setBounds (70, 220, 40, 30);
        menu.setBounds (120, 220, 40, 30);
    }

    static std::unique_ptr<juce::Drawable> svg (const char* data, int size)
    {
        return juce::Drawable::createFromImageData (data, (size_t) size);
    }

    KnobControl time{false}, shift{true};
    TextSliderControl window;
    KnobNameLabel timeName{"TIME"}, shiftName{"SHIFT"}, windowName{"WINDOW"};
    IconButtonControl sync{svg (BinaryData::sync_icon_svg, BinaryData::sync_icon_svgSize),
                           svg (BinaryData::sync_icon_svg, BinaryData::sync_icon_svgSize)};
    IconButtonControl mute{svg (BinaryData::mute_off_icon_svg, BinaryData::mute_off_icon_svgSize),
                           svg (BinaryData::mute_icon_svg, BinaryData::mute_icon_svgSize)};
    IconButtonControl menu{svg (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize),
                           svg (BinaryData::menu_icon_svg, BinaryData::menu_icon_svgSize)};
    plb::ParameterLinkDecoration link;
};
} // namespace

TEST (PanelView, SnapshotsOfASamplePanelInEveryTheme)
{
    std::vector<std::pair<juce::String, std::unique_ptr<QWLookAndFeel>>> themes;
    themes.emplace_back ("blue", std::make_unique<QWLookAndFeel>());
    themes.emplace_back ("teal", std::make_unique<QWLookAndFeelTeal>());
    themes.emplace_back ("green", std::make_unique<QWLookAndFeelGreen>());
    themes.emplace_back ("yellow", std::make_unique<QWLookAndFeelYellow>());
    themes.emplace_back ("red", std::make_unique<QWLookAndFeelRed>());
    themes.emplace_back ("pink", std::make_unique<QWLookAndFeelPink>());
    themes.emplace_back ("purple", std::make_unique<QWLookAndFeelPurple>());

    SamplePanel panel;
    panel.setBounds (0, 0, 265, 280);
    for (auto& [key, lf] : themes)
    {
        panel.setLookAndFeel (lf.get());
        const auto img = testutil::render (panel, 2);
        testutil::saveArtifact (img, "panel_" + key + ".png");

        // The sync button is toggled on: its icon is in this theme's accent.
        const auto accent = lf->findColour (juce::TextButton::textColourOnId);
        const auto syncImg = testutil::render (panel.sync, 2);
        EXPECT_GT (testutil::countPixels (syncImg, accent.getARGB()), 20) << key;
    }
    panel.setLookAndFeel (nullptr);
}
