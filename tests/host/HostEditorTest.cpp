#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "host/PluginModule.h"

#include "host/XScreen.h"
#include "presets/TempHome.h"

#include <map>
#include <set>

// The plug-in's editor opened the way a host opens it: the built VST3 module,
// its view attached to a real top-level window on the X display. What a user
// would see is read back from the screen, and clicks go through XTest.
namespace
{
int distance (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}
bool isBlack (juce::Colour c) { return c.getRed() + c.getGreen() + c.getBlue() < 12; }

void savePng (const juce::Image& image, const juce::String& name)
{
    const auto file = juce::File (CORVANTIDE_TEST_ARTIFACTS).getChildFile (name);
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    juce::FileOutputStream out (file);
    EXPECT_TRUE (out.openedOk() && juce::PNGImageFormat().writeImageToStream (image, out)) << file.getFullPathName();
}

class HostEditor : public ::testing::Test
{
protected:
    ~HostEditor() override
    {
        if (editor != nullptr)
            close();
        plugin.reset();
        xscreen::pump (20);
    }

    // Where the framework's PropertiesFile puts the editor's file on Linux.
    juce::File preferencesFile() const { return home.folder.getChildFile ("Quenmar_Works/Corvantide.prefs"); }

    void storePreferences (const std::map<juce::String, const char*>& values)
    {
        preferencesFile().deleteFile();
        juce::PropertiesFile file (preferencesFile(), {});
        for (const auto& [key, value] : values)
            if (value != nullptr)
                file.setValue (key, value);
        ASSERT_TRUE (file.save());
    }

    // Attaches the view to a top-level window and waits until two grabs in a row agree, with the
    // view drawn out to the window's right and bottom edges (panels there, never the black backdrop).
    void open()
    {
        ASSERT_NE (plugin, nullptr);
        editor = plugin->createEditorIfNeeded();
        ASSERT_NE (editor, nullptr);
        window = std::make_unique<juce::DocumentWindow> ("Corvantide", juce::Colours::darkgrey, 0);
        window->setContentNonOwned (editor, true);
        window->setTopLeftPosition (16, 16);
        window->setVisible (true);
        ASSERT_TRUE (settle());
    }
    bool settle()
    {
        juce::Image last;
        return xscreen::pumpUntil (
            [&] {
                auto now = grab();
                const auto w = now.getWidth(), h = now.getHeight();
                const auto same = last.isValid() && now.getBounds() == last.getBounds() && xscreen::samePixels (now, last);
                last = now;
                return same && ! isBlack (now.getPixelAt (w / 2, h / 3)) && ! isBlack (now.getPixelAt (w - 4, h / 2))
                       && ! isBlack (now.getPixelAt (w / 2, h - 4));
            },
            5000);
    }
    juce::Image grab() const { return xscreen::grab (editor->getScreenBounds()); }

    // A host clears the keyboard focus before it closes a window that was clicked.
    void close()
    {
        juce::Component::unfocusAllComponents();
        plugin->editorBeingDeleted (editor);
        window->clearContentComponent();
        delete editor;
        editor = nullptr;
        window.reset();
        xscreen::pump (30);
    }

    // Design-grid coordinates of the 800 x 520 main view, scaled to the window.
    juce::Point<int> onWindow (float x, float y) const { return (juce::Point<float> (x, y) * ((float) editor->getWidth() / 800.0f)).toInt(); }

    TempHome home; // first: the plug-in makes its preset folder from HOME when constructed
    std::unique_ptr<juce::AudioPluginInstance> plugin = testutil::loadPluginModule();
    std::unique_ptr<juce::DocumentWindow> window;
    juce::AudioProcessorEditor* editor = nullptr;
};
} // namespace

// The window opens at the stored width in the stored theme, the view scaled by width / 800; the
// host's resize keeps 800:520 and a width of at least 200, and closing stores the width.
TEST_F (HostEditor, OpensScaledInTheStoredThemeAndStoresTheResizedWidth)
{
    struct Row
    {
        const char *width, *theme; // none stored when null
        int shownWidth;
        juce::Colour accent, other;
        const char* png;
        juce::Rectangle<int> asked, resized;
    };
    const juce::Colour blue (0xff2660a4), pink (0xffd14081);
    for (const auto& row : { Row { nullptr, nullptr, 800, blue, pink, "host-editor-800.png", { 100, 100 }, { 200, 130 } },
                             Row { "1200", "pink", 1200, pink, blue, "host-editor-1200.png", { 1000, 1000 }, { 1000, 650 } } })
    {
        SCOPED_TRACE (row.png);
        storePreferences ({ { "editor_width", row.width }, { "theme", row.theme } });
        open();
        EXPECT_EQ (editor->getLocalBounds(), juce::Rectangle<int> (row.shownWidth, row.shownWidth * 13 / 20));
        xscreen::pump (250); // past the controller's first tick, which writes the preset name
        const auto image = grab();
        savePng (image, row.png);

        // Black in the gutter left of the middle column; each FEED knob (60 % by default, its box at
        // (41, 157, 50, 50) in the band panels at x 2 and 533) draws its value arc, its outermost
        // 2 px ring from 1.2 pi clockwise, in the accent.
        EXPECT_TRUE (isBlack (image.getPixelAt (onWindow (268, 200).x, onWindow (268, 200).y)));
        for (const float bandX : { 2.0f, 533.0f })
            for (const float angle : { 1.35f, 1.7f, 2.1f })
            {
                const auto onArc = juce::Point<float> (bandX + 66, 184).getPointOnCircumference (22.0f, angle * juce::MathConstants<float>::pi);
                const auto colour = image.getPixelAt (onWindow (onArc.x, onArc.y).x, onWindow (onArc.x, onArc.y).y);
                EXPECT_TRUE (distance (colour, row.accent) < std::min (120, distance (colour, row.other)))
                    << bandX << " " << angle << " " << colour.toDisplayString (false);
            }

        editor->setSize (row.asked.getWidth(), row.asked.getHeight());
        EXPECT_TRUE (settle());
        EXPECT_NEAR (editor->getWidth(), row.resized.getWidth(), 1);
        EXPECT_NEAR (editor->getHeight(), row.resized.getHeight(), 1);
        const auto width = editor->getWidth();
        close();
        EXPECT_EQ (juce::PropertiesFile (preferencesFile(), {}).getValue ("editor_width"), juce::String (width));
    }
}

// A click on the randomise button of the 1.5 times scaled view changes, in the host's view, the
// randomised parameters and not the levels, the mutes and dry/wet.
TEST_F (HostEditor, RandomiseClickChangesOnlyTheRandomisedParameters)
{
    storePreferences ({ { "editor_width", "1200" } });
    ASSERT_NE (plugin, nullptr);
    // The VST3 client hashes the text id into the host's numeric id.
    std::set<juce::String> kept;
    for (auto id : { "lowamp", "highamp", "amp", "drywet", "lowmute", "highmute" })
        kept.insert (juce::String ((juce::uint32) juce::String (id).hashCode() & 0x7fffffffu));
    const auto& parameters = plugin->getParameters();
    const auto values = [&parameters] {
        std::vector<float> v;
        for (auto* p : parameters)
            v.push_back (p->getValue());
        return v;
    };

    open();
    ASSERT_EQ (editor->getWidth(), 1200);
    const auto before = values();
    xscreen::click (editor->getScreenPosition() + onWindow (2 + 223 + 13, 440 + 26 + 13));
    xscreen::pumpUntil ([&] { return values() != before; }, 2000);
    xscreen::pump (150); // the rest of the 23 gestures
    const auto after = values();

    // A choice may land on its old value by chance, so a click need only move most of the 23.
    int moved = 0, keptSeen = 0;
    for (auto* p : parameters)
    {
        const auto i = (size_t) p->getParameterIndex();
        const auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p);
        if (hosted != nullptr && kept.count (hosted->getParameterID()) != 0)
        {
            ++keptSeen;
            EXPECT_EQ (before[i], after[i]) << p->getName (64);
        }
        else
            moved += before[i] != after[i] ? 1 : 0;
    }
    EXPECT_EQ (keptSeen, 6);
    EXPECT_GE (moved, 17);
}
