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
// The VST3 client hashes the text id into the host's numeric id.
juce::AudioProcessorParameter* parameter (juce::AudioPluginInstance& plugin, const juce::String& id)
{
    const auto hostId = juce::String ((juce::uint32) id.hashCode() & 0x7fffffffu);
    for (auto* p : plugin.getParameters())
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p); hosted != nullptr && hosted->getParameterID() == hostId)
            return p;
    return nullptr;
}

juce::PropertiesFile::Options preferenceOptions()
{
    juce::PropertiesFile::Options o;
    o.applicationName = "Corvantide";
    o.filenameSuffix = ".prefs";
    o.folderName = "Quenmar_Works";
    return o;
}

int distance (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}

bool isBlack (juce::Colour c) { return c.getRed() + c.getGreen() + c.getBlue() < 12; }

const juce::Colour blue (0xff2660a4), pink (0xffd14081);

struct HostWindow : juce::DocumentWindow
{
    HostWindow()
        : juce::DocumentWindow ("Corvantide", juce::Colours::darkgrey, 0)
    {
    }
};

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

    // Where the framework's PropertiesFile puts the file on Linux with the editor's options.
    juce::File preferencesFile() const { return home.folder.getChildFile ("Quenmar_Works").getChildFile ("Corvantide.prefs"); }

    void storePreferences (const std::map<juce::String, juce::String>& values)
    {
        preferencesFile().deleteFile();
        if (values.empty())
            return;
        juce::PropertiesFile file (preferencesFile(), preferenceOptions());
        for (const auto& [key, value] : values)
            file.setValue (key, value);
        ASSERT_TRUE (file.save());
    }

    juce::String storedPreference (const juce::String& key) const
    {
        return juce::PropertiesFile (preferencesFile(), preferenceOptions()).getValue (key, "<none>");
    }

    // Attaches the view to a top-level window and waits until the screen
    // shows a settled picture of it.
    void open()
    {
        ASSERT_NE (plugin, nullptr);
        editor = plugin->createEditorIfNeeded();
        ASSERT_NE (editor, nullptr);
        window = std::make_unique<HostWindow>();
        window->setContentNonOwned (editor, true);
        window->setTopLeftPosition (16, 16);
        window->setVisible (true);
        ASSERT_TRUE (settle());
    }

    // Two grabs in a row that agree, with the plug-in's view drawn out to the
    // window's right and bottom edges (panels there, never the black backdrop).
    bool settle()
    {
        juce::Image last;
        return xscreen::pumpUntil (
            [&] {
                auto now = grab();
                const auto same = last.isValid() && now.getBounds() == last.getBounds() && sameImage (now, last);
                last = now;
                const auto w = now.getWidth(), h = now.getHeight();
                return same && w > 8 && h > 8 && ! isBlack (now.getPixelAt (w / 2, h / 3)) && ! isBlack (now.getPixelAt (w - 4, h / 2))
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
    float scale() const { return (float) editor->getWidth() / 800.0f; }
    juce::Point<int> onWindow (float x, float y) const { return juce::Point<float> (x * scale(), y * scale()).toInt(); }

    static bool sameImage (const juce::Image& a, const juce::Image& b)
    {
        const juce::Image::BitmapData da (a, juce::Image::BitmapData::readOnly), db (b, juce::Image::BitmapData::readOnly);
        for (int y = 0; y < a.getHeight(); ++y)
            if (std::memcmp (da.getLinePointer (y), db.getLinePointer (y), (size_t) (a.getWidth() * da.pixelStride)) != 0)
                return false;
        return true;
    }

    TempHome home; // first: the plug-in makes its preset folder from HOME when constructed
    std::unique_ptr<juce::AudioPluginInstance> plugin = testutil::loadPluginModule();
    std::unique_ptr<HostWindow> window;
    juce::AudioProcessorEditor* editor = nullptr;
};

void savePng (const juce::Image& image, const juce::String& name)
{
    const auto file = juce::File (CORVANTIDE_TEST_ARTIFACTS).getChildFile (name);
    file.getParentDirectory().createDirectory();
    file.deleteFile();
    juce::FileOutputStream out (file);
    EXPECT_TRUE (out.openedOk() && juce::PNGImageFormat().writeImageToStream (image, out)) << file.getFullPathName();
}
} // namespace

// The window opens at the stored width, the view scaled by width / 800, and
// every close writes the file, even when nothing changed.
TEST_F (HostEditor, OpensAtTheStoredWidthAndWritesItOnClose)
{
    struct Row
    {
        const char* stored; // no file when null
        int width, height;
        const char* png;
    };
    const Row rows[] = { { nullptr, 800, 520, "host-editor-800.png" },
                         { "1200", 1200, 780, "host-editor-1200.png" },
                         { "1024", 1024, 665, nullptr },
                         { "0", 200, 130, nullptr } };

    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.stored != nullptr ? row.stored : "no file");
        std::map<juce::String, juce::String> values;
        if (row.stored != nullptr)
            values["editor_width"] = row.stored;
        storePreferences (values);
        const auto anHourAgo = juce::Time::getCurrentTime() - juce::RelativeTime::hours (1);
        preferencesFile().setLastModificationTime (anHourAgo);

        open();
        EXPECT_EQ (editor->getLocalBounds(), juce::Rectangle<int> (row.width, row.height));

        if (row.width >= 800)
        {
            // The gutter left of the middle column is black and the high band
            // reaches the right edge only when the view is scaled by width / 800.
            const auto image = grab();
            EXPECT_TRUE (isBlack (image.getPixelAt (onWindow (268, 200).x, onWindow (268, 200).y)));
            EXPECT_FALSE (isBlack (image.getPixelAt (onWindow (790, 300).x, onWindow (790, 300).y)));
            EXPECT_FALSE (isBlack (image.getPixelAt (onWindow (400, 512).x, onWindow (400, 512).y)));
        }
        if (row.png != nullptr)
        {
            xscreen::pump (250); // past the controller's first tick, which writes the preset name
            savePng (grab(), row.png);
        }

        close();
        EXPECT_GT (preferencesFile().getLastModificationTime(), anHourAgo + juce::RelativeTime::minutes (30));
        EXPECT_EQ (storedPreference ("editor_width"), juce::String (row.width));
    }
}

// The host resizes its window; the plug-in's constrainer keeps 800:520 and a
// width of at least 200, the plug-in stores each width and the next editor
// opens with it.
TEST_F (HostEditor, ResizeKeepsTheRatioStopsAtTheMinimumAndIsStored)
{
    struct Row
    {
        int requestedWidth, requestedHeight, width, height;
    };
    const Row rows[] = { { 1000, 1000, 1000, 650 }, { 600, 300, 462, 300 }, { 100, 100, 200, 130 }, { 30, 900, 200, 130 }, { 900, 2000, 900, 585 } };

    juce::Rectangle<int> previous (800, 520);
    for (const auto& row : rows)
    {
        SCOPED_TRACE (juce::String (row.requestedWidth) + " x " + juce::String (row.requestedHeight));
        open();
        EXPECT_EQ (editor->getLocalBounds(), previous);

        editor->setSize (row.requestedWidth, row.requestedHeight);
        EXPECT_TRUE (settle()); // which includes the view reaching the new edges
        EXPECT_NEAR (editor->getWidth(), row.width, 1);
        EXPECT_NEAR (editor->getHeight(), row.height, 1);
        EXPECT_NEAR (editor->getHeight(), editor->getWidth() * 0.65, 1.0);

        previous = editor->getLocalBounds();
        close();
        EXPECT_EQ (storedPreference ("editor_width"), juce::String (previous.getWidth()));
    }
}

// The FEED knobs (60 % by default) draw their value arcs in the stored
// theme's accent from the first picture on.
TEST_F (HostEditor, StoredThemeColoursTheKnobArcs)
{
    struct Row
    {
        const char* theme;
        juce::Colour accent, other;
    };
    for (const auto& row : { Row { nullptr, blue, pink }, Row { "pink", pink, blue } })
    {
        SCOPED_TRACE (row.theme != nullptr ? row.theme : "no file");
        std::map<juce::String, juce::String> values;
        if (row.theme != nullptr)
            values["theme"] = row.theme;
        storePreferences (values);
        open();
        const auto image = grab();

        // Band panels at x 2 and 533; the knob's box (41, 157, 50, 50) inside
        // them; the arc is the knob's outermost 2 px ring, from 1.2 pi to
        // 1.2 pi + 0.6 * 1.6 pi (JUCE's angles: clockwise from 12 o'clock).
        for (const float bandX : { 2.0f, 533.0f })
        {
            const juce::Point<float> centre (bandX + 41 + 25, 2 + 157 + 25);
            for (const float angle : { 1.35f, 1.5f, 1.7f, 1.9f, 2.1f })
            {
                const auto onArc = centre.getPointOnCircumference (22.0f, angle * juce::MathConstants<float>::pi);
                const auto at = onWindow (onArc.x, onArc.y);
                const auto colour = image.getPixelAt (at.x, at.y);
                EXPECT_LT (distance (colour, row.accent), distance (colour, row.other)) << bandX << " " << angle << " " << colour.toDisplayString (false);
                EXPECT_LT (distance (colour, row.accent), 120) << bandX << " " << angle << " " << colour.toDisplayString (false);
            }

            // Nowhere in the knob's box is there a pixel of the other accent.
            int others = 0;
            for (int y = 157; y < 207; ++y)
                for (int x = 41; x < 91; ++x)
                    others += distance (image.getPixelAt (onWindow (bandX + (float) x, 2.0f + (float) y).x, onWindow (bandX + (float) x, 2.0f + (float) y).y), row.other) < 60 ? 1 : 0;
            EXPECT_EQ (others, 0) << bandX;
        }
        close();
    }
}

// A click on the randomise button changes, in the host's view, the randomised
// parameters and nothing else; the window is 1.5 times the design size, so the
// click lands where the scaled view draws the button.
TEST_F (HostEditor, RandomiseClickChangesOnlyTheRandomisedParameters)
{
    const juce::StringArray randomised { "driftrate", "driftdepth", "cutoff", "res", "lowtime", "hightime",
                                         "lowtimesync", "hightimesync", "lowsyncedtime", "highsyncedtime", "lowfeed", "highfeed",
                                         "lowdamp", "highdamp", "lowpitch", "highpitch", "lowpitchwindow", "highpitchwindow",
                                         "lowpan", "highpan", "diffusion", "pitchstage", "delaymode" };
    const juce::StringArray kept { "lowamp", "highamp", "amp", "drywet", "lowmute", "highmute" };

    storePreferences ({ { "editor_width", "1200" } });
    ASSERT_NE (plugin, nullptr);
    const auto& parameters = plugin->getParameters();
    std::set<int> randomisedIndices;
    for (const auto& id : randomised)
    {
        auto* p = parameter (*plugin, id);
        ASSERT_NE (p, nullptr) << id;
        randomisedIndices.insert (p->getParameterIndex());
    }
    for (const auto& id : kept)
        ASSERT_NE (parameter (*plugin, id), nullptr) << id;
    ASSERT_EQ (parameters.size() - (int) randomisedIndices.size(), kept.size() + 1); // and the client's "Bypass"

    const auto values = [&parameters] {
        std::vector<float> v;
        for (auto* p : parameters)
            v.push_back (p->getValue());
        return v;
    };

    open();
    ASSERT_EQ (editor->getWidth(), 1200);
    const auto button = editor->getScreenPosition() + onWindow (2 + 223 + 13, 440 + 26 + 13);

    // A choice may land on its old value by chance, so a single click need
    // only move a clear majority of the list; each parameter of more than 20
    // steps must move at least once in three clicks.
    std::set<int> movedOnce;
    for (int click = 0; click < 3; ++click)
    {
        SCOPED_TRACE (click);
        const auto before = values();
        xscreen::click (button);
        xscreen::pumpUntil ([&] { return values() != before; }, 2000);
        xscreen::pump (150); // the rest of the 23 gestures
        const auto after = values();

        int moved = 0;
        for (size_t i = 0; i < after.size(); ++i)
        {
            if (randomisedIndices.count ((int) i) == 0)
            {
                EXPECT_EQ (before[i], after[i]) << parameters[(int) i]->getName (64);
            }
            else if (before[i] != after[i])
            {
                ++moved;
                movedOnce.insert ((int) i);
            }
        }
        EXPECT_GE (moved, 17);
    }
    for (const auto i : randomisedIndices)
    {
        if (parameters[i]->getNumSteps() > 20)
        {
            EXPECT_EQ (movedOnce.count (i), 1u) << parameters[i]->getName (64);
        }
    }
}

// The host closes the editor while the options menu or the preset menu is
// open: the menu, a window of its own, goes with it and the process lives on.
TEST_F (HostEditor, ClosingWithAMenuOpenTakesTheMenuAway)
{
    // Footer at (2, 440): the options button at (546, 26), the preset name at (299, 26, 197, 26).
    for (const auto button : { juce::Point<float> (2 + 546 + 13, 440 + 26 + 13), juce::Point<float> (2 + 299 + 98, 440 + 26 + 13) })
    {
        SCOPED_TRACE (button.toString());
        const auto before = xscreen::mappedTopLevelWindows();
        open();
        const auto withEditor = xscreen::mappedTopLevelWindows();
        xscreen::click (editor->getScreenPosition() + onWindow (button.x, button.y));
        EXPECT_TRUE (xscreen::pumpUntil ([&] { return xscreen::mappedTopLevelWindows() > withEditor; }, 2000));

        close();
        EXPECT_TRUE (xscreen::pumpUntil ([&] { return xscreen::mappedTopLevelWindows() == before; }, 2000))
            << xscreen::mappedTopLevelWindows() << " windows, " << before << " before opening";
    }
}
