#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "host/PluginModule.h"
#include "presets/TempHome.h"
#include "support/XErrorHandler.h"

#include <set>
#include <vector>

// Last: Xlib's macros (Bool, None, Status) would clash with the framework's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

// The plug-in's editor opened the way a host opens it: the built VST3 module, its view attached
// to a real top-level window on the X display. The view draws into its own embedded X window,
// which neither the host's component snapshots nor its synthetic mouse events reach, so what a
// user would see is read back from the screen and clicks go through XTest.
namespace
{
// Before main, and so before any other Xlib call: the plug-in's own framework copy talks to the
// server from its message thread too.
Display* const display = [] {
    testutil::ignoreMissingAtomErrors();
    return XOpenDisplay (nullptr);
}();

void pump (int milliseconds) { juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds); }
bool pumpUntil (const std::function<bool()>& condition, int timeoutMs)
{
    for (const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs; ! condition(); pump (10))
        if (juce::Time::getMillisecondCounter() >= end)
            return false;
    return true;
}

// The pixels of a screen area on the 24-bit virtual display.
juce::Image grab (juce::Rectangle<int> area)
{
    XSync (display, False);
    const auto w = area.getWidth(), h = area.getHeight();
    XImage* x = XGetImage (display, DefaultRootWindow (display), area.getX(), area.getY(), (unsigned) w, (unsigned) h, AllPlanes, ZPixmap);
    juce::Image image (juce::Image::ARGB, w, h, true, juce::SoftwareImageType());
    juce::Image::BitmapData pixels (image, juce::Image::BitmapData::readWrite);
    for (int y = 0; x != nullptr && y < h; ++y)
        for (int i = 0; i < w; ++i)
            pixels.setPixelColour (i, y, juce::Colour ((juce::uint32) XGetPixel (x, i, y)).withAlpha ((juce::uint8) 255));
    if (x != nullptr)
        XDestroyImage (x);
    return image;
}

// A left click at a screen position, the host's loop pumped between the events so both sides see each one.
void click (juce::Point<int> at)
{
    for (int event = 0; event < 3; ++event)
    {
        if (event == 0)
            XTestFakeMotionEvent (display, DefaultScreen (display), at.x, at.y, CurrentTime);
        else
            XTestFakeButtonEvent (display, 1, event == 1, CurrentTime);
        XFlush (display);
        pump (60);
    }
}

// How many windows are mapped directly on the root window: the host's top-level windows and any
// pop-up menu, from either framework copy.
int mappedTopLevelWindows()
{
    XSync (display, False);
    Window root {}, parent {};
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree (display, DefaultRootWindow (display), &root, &parent, &children, &count) == 0)
        return -1;
    int mapped = 0;
    for (unsigned int i = 0; i < count; ++i)
    {
        XWindowAttributes attributes {};
        mapped += XGetWindowAttributes (display, children[i], &attributes) != 0 && attributes.map_state == IsViewable ? 1 : 0;
    }
    if (children != nullptr)
        XFree (children);
    return mapped;
}

// The VST3 client hashes the text id into the host's numeric id.
juce::AudioProcessorParameter* parameter (juce::AudioPluginInstance& plugin, const juce::String& id)
{
    const auto hostId = juce::String ((juce::uint32) id.hashCode() & 0x7fffffffu);
    for (auto* p : plugin.getParameters())
        if (auto* hosted = dynamic_cast<juce::HostedAudioProcessorParameter*> (p); hosted != nullptr && hosted->getParameterID() == hostId)
            return p;
    return nullptr;
}

int distance (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}
bool isBlack (juce::Colour c) { return c.getRed() + c.getGreen() + c.getBlue() < 12; }

class HostEditor : public ::testing::Test
{
protected:
    ~HostEditor() override
    {
        if (editor != nullptr)
            close();
        plugin.reset();
        pump (20);
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
        return pumpUntil (
            [&] {
                auto now = grab (editor->getScreenBounds());
                const auto w = now.getWidth(), h = now.getHeight();
                const juce::Image::BitmapData a (now, juce::Image::BitmapData::readOnly), b (last.isValid() ? last : now, a.readOnly);
                const auto same = last.getBounds() == now.getBounds() && std::memcmp (a.data, b.data, (size_t) (a.lineStride * h)) == 0;
                last = now;
                return same && ! isBlack (now.getPixelAt (w / 2, h / 3)) && ! isBlack (now.getPixelAt (w - 4, h / 2))
                       && ! isBlack (now.getPixelAt (w / 2, h - 4));
            },
            5000);
    }

    // A host clears the keyboard focus before it closes a window that was clicked. The framework's
    // embedding answers a late configure event with an async call that must not outlive it.
    void close()
    {
        pump (100);
        juce::Component::unfocusAllComponents();
        plugin->editorBeingDeleted (editor);
        window->clearContentComponent();
        delete editor;
        editor = nullptr;
        window.reset();
        pump (30);
    }

    // Design-grid coordinates of the 800 x 520 main view, scaled to the window.
    juce::Point<int> onWindow (float x, float y) const { return (juce::Point<float> (x, y) * ((float) editor->getWidth() / 800.0f)).toInt(); }

    TempHome home; // first: the plug-in makes its preset folder from HOME when constructed
    std::unique_ptr<juce::AudioPluginInstance> plugin = testutil::loadPluginModule();
    std::unique_ptr<juce::DocumentWindow> window;
    juce::AudioProcessorEditor* editor = nullptr;
};
} // namespace

// The window opens at the stored width in the stored theme, the view scaled by width / 800; a
// click on the randomise button changes, in the host's view, the randomised parameters and nothing
// else; the host's resize keeps 800:520 and a width of at least 200; closing with a menu open takes
// the menu away, and every close stores the width, even when nothing changed.
TEST_F (HostEditor, OpensScaledInTheStoredThemeTakesAClickAndStoresTheResizedWidth)
{
    struct Resize
    {
        int askedWidth, askedHeight, width, height;
    };
    struct Row
    {
        const char *width, *theme; // the file's values kept when null
        int shownWidth;
        juce::Colour accent, other;
        const char* png;
        std::vector<Resize> resizes;
        juce::Point<float> menuButton; // design-grid point clicked before closing; none at the origin
    };
    const juce::Colour blue (0xff2660a4), pink (0xffd14081);
    // The footer at (2, 440): the options button at (546, 26), the preset name at (299, 26, 197, 26).
    const juce::Point<float> optionsButton (2 + 546 + 13, 440 + 26 + 13), presetName (2 + 299 + 98, 440 + 26 + 13);
    const auto preferences = home.folder.getChildFile ("Quenmar_Works/Corvantide.prefs");
    // The third row opens with what the second row's resize stored; it and the last close with nothing changed.
    const Row rows[] = { { nullptr, nullptr, 800, blue, pink, "host-editor-800.png", { { 100, 100, 200, 130 }, { 30, 900, 200, 130 }, { 600, 300, 462, 300 } }, optionsButton },
                         { "1200", "pink", 1200, pink, blue, "host-editor-1200.png", { { 1000, 1000, 1000, 650 }, { 900, 2000, 900, 585 }, { 1024, 2000, 1024, 666 } }, presetName },
                         { nullptr, nullptr, 1024, pink, blue, nullptr, {}, {} },
                         { "0", nullptr, 200, pink, blue, nullptr, {}, {} } };
    for (const auto& row : rows)
    {
        SCOPED_TRACE (row.shownWidth);
        {
            juce::PropertiesFile stored (preferences, {});
            for (auto [key, value] : { std::pair ("editor_width", row.width), { "theme", row.theme } })
                if (value != nullptr)
                    stored.setValue (key, value);
            ASSERT_TRUE (stored.save());
        }
        const auto anHourAgo = juce::Time::getCurrentTime() - juce::RelativeTime::hours (1);
        ASSERT_TRUE (preferences.setLastModificationTime (anHourAgo));
        const auto windowsBefore = mappedTopLevelWindows();
        open();
        EXPECT_EQ (editor->getLocalBounds(), juce::Rectangle<int> (row.shownWidth, row.shownWidth * 13 / 20));
        pump (250); // past the controller's first tick, which writes the preset name
        const auto image = grab (editor->getScreenBounds());
        if (row.png != nullptr)
        {
            const auto file = juce::File (CORVANTIDE_TEST_ARTIFACTS).getChildFile (row.png);
            juce::MemoryOutputStream png;
            EXPECT_TRUE (juce::PNGImageFormat().writeImageToStream (image, png) && file.getParentDirectory().createDirectory().wasOk()
                         && file.replaceWithData (png.getData(), png.getDataSize()))
                << file.getFullPathName();
        }

        // Black in the gutter left of the middle column; each FEED knob (60 % by default, its box at
        // (41, 157, 50, 50) in the band panels at x 2 and 533) draws its value arc, its outermost
        // 2 px ring from 1.2 pi clockwise, in the accent, and nowhere in its box the other accent.
        // Below the design size the 2 px gutter and ring are thinner than a pixel.
        const auto arcs = [&] (float bandX) {
            for (const float angle : { 1.35f, 1.5f, 1.7f, 1.9f, 2.1f })
            {
                const auto onArc = juce::Point<float> (bandX + 66, 184).getPointOnCircumference (22.0f, angle * juce::MathConstants<float>::pi);
                const auto colour = image.getPixelAt (onWindow (onArc.x, onArc.y).x, onWindow (onArc.x, onArc.y).y);
                EXPECT_TRUE (distance (colour, row.accent) < std::min (120, distance (colour, row.other)))
                    << bandX << " " << angle << " " << colour.toDisplayString (false);
            }
            int others = 0;
            for (int y = 159; y < 209; ++y)
                for (int x = 41; x < 91; ++x)
                {
                    const auto at = onWindow (bandX + (float) x, (float) y);
                    others += distance (image.getPixelAt (at.x, at.y), row.other) < 60 ? 1 : 0;
                }
            EXPECT_EQ (others, 0) << bandX;
        };
        if (row.shownWidth >= 800)
        {
            EXPECT_TRUE (isBlack (image.getPixelAt (onWindow (268, 200).x, onWindow (268, 200).y)));
            arcs (2.0f);
            arcs (533.0f);
        }

        if (row.shownWidth == 1200)
        {
            // By the host's ids: the 23 randomised, and the rest (the levels, the mutes, dry/wet and the
            // client's "Bypass") that no click may change.
            const juce::StringArray randomised { "driftrate", "driftdepth", "cutoff", "res", "lowtime", "hightime",
                                                 "lowtimesync", "hightimesync", "lowsyncedtime", "highsyncedtime", "lowfeed", "highfeed",
                                                 "lowdamp", "highdamp", "lowpitch", "highpitch", "lowpitchwindow", "highpitchwindow",
                                                 "lowpan", "highpan", "diffusion", "pitchstage", "delaymode" };
            std::set<int> randomisedIndices;
            for (const auto& id : randomised)
            {
                auto* p = parameter (*plugin, id);
                ASSERT_NE (p, nullptr) << id;
                randomisedIndices.insert (p->getParameterIndex());
            }
            const auto& parameters = plugin->getParameters();
            const juce::StringArray kept { "Low Amp", "High Amp", "Output Amp", "Dry/Wet", "Low Mute", "High Mute" };
            int keptSeen = 0;
            for (auto* p : parameters)
                keptSeen += kept.contains (p->getName (64)) ? 1 : 0;
            EXPECT_EQ (keptSeen, 6);
            EXPECT_EQ (parameters.size() - (int) randomisedIndices.size(), kept.size() + 1);

            const auto values = [&parameters] {
                std::vector<float> v;
                for (auto* p : parameters)
                    v.push_back (p->getValue());
                return v;
            };
            // A choice may land on its old value by chance, so a click need only move most of the 23; each
            // parameter of more than 20 steps must move at least once in three clicks.
            std::set<int> movedOnce;
            for (int clicks = 0; clicks < 3; ++clicks)
            {
                const auto before = values();
                click (editor->getScreenPosition() + onWindow (2 + 223 + 13, 440 + 26 + 13));
                pumpUntil ([&] { return values() != before; }, 2000);
                pump (150); // the rest of the 23 gestures
                const auto after = values();
                int moved = 0;
                for (size_t i = 0; i < after.size(); ++i)
                {
                    const auto isRandomised = randomisedIndices.count ((int) i) == 1;
                    EXPECT_TRUE (isRandomised || before[i] == after[i]) << parameters[(int) i]->getName (64);
                    if (isRandomised && before[i] != after[i])
                    {
                        ++moved;
                        movedOnce.insert ((int) i);
                    }
                }
                EXPECT_GE (moved, 17) << clicks;
            }
            for (const auto i : randomisedIndices)
                EXPECT_TRUE (parameters[i]->getNumSteps() <= 20 || movedOnce.count (i) == 1) << parameters[i]->getName (64);
            // The next rows' knobs are read at their defaults again.
            for (auto* p : parameters)
                p->setValueNotifyingHost (p->getDefaultValue());
        }

        for (const auto& resize : row.resizes)
        {
            editor->setSize (resize.askedWidth, resize.askedHeight);
            EXPECT_TRUE (settle()); // which includes the view reaching the new edges
            EXPECT_NEAR (editor->getWidth(), resize.width, 1) << resize.askedWidth << " x " << resize.askedHeight;
            EXPECT_NEAR (editor->getHeight(), resize.height, 1) << resize.askedWidth << " x " << resize.askedHeight;
            EXPECT_NEAR (editor->getHeight(), editor->getWidth() * 0.65, 1.0);
        }

        // A menu is a window of its own; the host's close takes it away too.
        if (! row.menuButton.isOrigin())
        {
            const auto withEditor = mappedTopLevelWindows();
            click (editor->getScreenPosition() + onWindow (row.menuButton.x, row.menuButton.y));
            EXPECT_TRUE (pumpUntil ([&] { return mappedTopLevelWindows() > withEditor; }, 2000));
        }
        const auto width = editor->getWidth();
        close();
        EXPECT_TRUE (pumpUntil ([&] { return mappedTopLevelWindows() == windowsBefore; }, 2000))
            << mappedTopLevelWindows() << " windows, " << windowsBefore << " before opening";
        EXPECT_GT (preferences.getLastModificationTime(), anHourAgo + juce::RelativeTime::minutes (30));
        EXPECT_EQ (juce::PropertiesFile (preferences, {}).getValue ("editor_width"), juce::String (width));
    }
}
