#include "gui/QWLookAndFeel.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <vector>

namespace
{
using namespace qnmr::gui;

struct Theme
{
    const char* key;
    std::function<std::unique_ptr<QWLookAndFeel>()> make;
    juce::uint32 accent;
};

const std::vector<Theme>& themes()
{
    static const std::vector<Theme> all{
        {"blue", []
         { return std::make_unique<QWLookAndFeel>(); },
         0xff2660a4},
        {"teal", []
         { return std::make_unique<QWLookAndFeelTeal>(); },
         0xff28afb0},
        {"green", []
         { return std::make_unique<QWLookAndFeelGreen>(); },
         0xff77ff94},
        {"yellow", []
         { return std::make_unique<QWLookAndFeelYellow>(); },
         0xfffdca40},
        {"red", []
         { return std::make_unique<QWLookAndFeelRed>(); },
         0xffee6c4d},
        {"pink", []
         { return std::make_unique<QWLookAndFeelPink>(); },
         0xffd14081},
        {"purple", []
         { return std::make_unique<QWLookAndFeelPurple>(); },
         0xff6564db},
    };
    return all;
}

// The 18 colours the toolkit sets, by id; 0 stands for the theme's accent.
std::map<int, juce::uint32> toolkitTable()
{
    return {
        {juce::Slider::rotarySliderFillColourId, 0},
        {juce::Slider::textBoxTextColourId, 0},
        {juce::TextButton::textColourOnId, 0},
        {juce::ResizableWindow::backgroundColourId, 0xff191919},
        {juce::Slider::backgroundColourId, 0xff232323},
        {juce::BubbleComponent::backgroundColourId, 0xff000000},
        {juce::BubbleComponent::outlineColourId, 0xff232323},
        {juce::TooltipWindow::textColourId, 0xffffffff},
        {juce::TooltipWindow::backgroundColourId, 0xff000000},
        {juce::TooltipWindow::outlineColourId, 0xff232323},
        {juce::Slider::textBoxBackgroundColourId, 0xff000000},
        {juce::Slider::textBoxOutlineColourId, 0xff232323},
        {juce::ComboBox::backgroundColourId, 0xff2d2d2d},
        {juce::PopupMenu::backgroundColourId, 0xff111111},
        {juce::PopupMenu::highlightedBackgroundColourId, 0xff232323},
        {juce::TextButton::buttonColourId, 0xff2d2d2d},
        {juce::TextButton::buttonOnColourId, 0xff000000},
        {juce::TextButton::textColourOffId, 0xffffffff},
    };
}

// Framework colour ids live in 0x1000000 .. 0x10fffff.
template <typename Fn>
void forEachFrameworkId (Fn&& fn)
{
    for (int id = 0x1000000; id < 0x1100000; ++id)
        fn (id);
}
} // namespace

TEST (LookAndFeelColours, EveryThemeHasTheToolkitTableAndOtherwiseTheDarkScheme)
{
    const juce::LookAndFeel_V4 dark;
    const auto table = toolkitTable();
    ASSERT_EQ (table.size(), 18u);

    for (const auto& theme : themes())
    {
        SCOPED_TRACE (theme.key);
        const auto lf = theme.make();

        for (const auto& [id, argb] : table)
        {
            ASSERT_TRUE (lf->isColourSpecified (id)) << std::hex << id;
            EXPECT_EQ (lf->findColour (id).getARGB(), argb == 0 ? theme.accent : argb) << std::hex << id;
        }

        int differing = 0;
        forEachFrameworkId ([&] (int id)
                            {
            ASSERT_EQ (lf->isColourSpecified (id), dark.isColourSpecified (id)) << std::hex << id;
            if (table.count (id) == 0 && dark.isColourSpecified (id))
            {
                EXPECT_EQ (lf->findColour (id), dark.findColour (id)) << std::hex << id;
                differing += lf->findColour (id) != dark.findColour (id) ? 1 : 0;
            } });
        EXPECT_EQ (differing, 0);
    }
}

TEST (LookAndFeelColours, VariantsDifferFromTheBaseOnlyInTheThreeAccentIds)
{
    const QWLookAndFeel base;
    for (const auto& theme : themes())
    {
        if (juce::String (theme.key) == "blue")
            continue;
        SCOPED_TRACE (theme.key);
        const auto lf = theme.make();

        std::vector<int> differing;
        forEachFrameworkId ([&] (int id)
                            {
            if (base.isColourSpecified (id) && base.findColour (id) != lf->findColour (id))
                differing.push_back (id); });

        EXPECT_EQ (differing, (std::vector<int>{juce::TextButton::textColourOnId,
                                                juce::Slider::rotarySliderFillColourId,
                                                juce::Slider::textBoxTextColourId}));
    }
}
