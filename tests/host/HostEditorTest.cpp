#include <gtest/gtest.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include "host/XScreen.h"
#include "presets/TempHome.h"

// The plug-in's editor opened the way a host opens it: the built VST3 module,
// its view attached to a real top-level window on the X display. What the
// user would see is read back from the screen, and clicks go through XTest.
namespace
{
std::unique_ptr<juce::AudioPluginInstance> loadModule()
{
    juce::VST3PluginFormat format;
    juce::OwnedArray<juce::PluginDescription> types;
    format.findAllTypesForFile (types, juce::File (CORVANTIDE_VST3_BINARY_DIR).getParentDirectory().getParentDirectory().getFullPathName());
    juce::String error;
    return types.size() == 1 ? format.createInstanceFromDescription (*types[0], 48000.0, 512, error) : nullptr;
}

// The VST3 client hashes the text id into the host's numeric id.
[[maybe_unused]] juce::AudioProcessorParameter* parameter (juce::AudioPluginInstance& plugin, const juce::String& id)
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

[[maybe_unused]] int distance (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) + std::abs (a.getGreen() - b.getGreen()) + std::abs (a.getBlue() - b.getBlue());
}

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

    // Where the framework's PropertiesFile puts the file on Linux with our options.
    juce::File preferencesFile() const { return home.folder.getChildFile ("Quenmar_Works").getChildFile ("Corvantide.prefs"); }

    void writePreferences (const juce::StringPairArray& values)
    {
        juce::PropertiesFile file (preferencesFile(), preferenceOptions());
        for (const auto& key : values.getAllKeys())
            file.setValue (key, values[key]);
        ASSERT_TRUE (file.save());
    }

    juce::String storedValue (const juce::String& key) const
    {
        return juce::PropertiesFile (preferencesFile(), preferenceOptions()).getValue (key);
    }

    // Opens the view in a top-level window and waits until the screen shows a
    // settled, non-black picture of it.
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

    bool settle()
    {
        juce::Image last;
        return xscreen::pumpUntil (
            [&] {
                auto now = grab();
                const auto same = last.isValid() && now.getBounds() == last.getBounds() && identical (now, last);
                last = now;
                return same && ! allBlack (now);
            },
            5000);
    }

    juce::Image grab() const { return xscreen::grab (editor->getScreenBounds()); }

    // A host clears the focus before it closes a window that was clicked.
    void close()
    {
        juce::Component::unfocusAllComponents();
        plugin->editorBeingDeleted (editor);
        window->clearContentComponent();
        delete editor;
        editor = nullptr;
        window.reset();
        xscreen::pump (50);
    }

    // A design-grid point of the 800 x 520 main view on the screen.
    juce::Point<int> onScreen (float x, float y) const
    {
        const auto s = (float) editor->getWidth() / 800.0f;
        return editor->getScreenPosition() + juce::Point<float> (x * s, y * s).toInt();
    }

    static bool identical (const juce::Image& a, const juce::Image& b)
    {
        for (int y = 0; y < a.getHeight(); y += 3)
            for (int x = 0; x < a.getWidth(); x += 3)
                if (a.getPixelAt (x, y) != b.getPixelAt (x, y))
                    return false;
        return true;
    }

    static bool allBlack (const juce::Image& image)
    {
        for (int y = 0; y < image.getHeight(); y += 4)
            for (int x = 0; x < image.getWidth(); x += 4)
                if (image.getPixelAt (x, y).getBrightness() > 0.05f)
                    return false;
        return true;
    }

    TempHome home; // first: the plug-in makes its preset folder from HOME when constructed
    std::unique_ptr<juce::AudioPluginInstance> plugin = loadModule();
    std::unique_ptr<HostWindow> window;
    juce::AudioProcessorEditor* editor = nullptr;
};
} // namespace

TEST_F (HostEditor, Smoke)
{
    open();
    const auto image = grab();
    std::printf ("editor %d x %d at %d,%d\n", editor->getWidth(), editor->getHeight(), editor->getScreenX(), editor->getScreenY());
    juce::File (CORVANTIDE_TEST_ARTIFACTS).createDirectory();
    juce::FileOutputStream out (juce::File (CORVANTIDE_TEST_ARTIFACTS).getChildFile ("host-smoke.png"));
    out.setPosition (0);
    out.truncate();
    juce::PNGImageFormat().writeImageToStream (image, out);
    auto* mute = parameter (*plugin, "lowmute");
    std::printf ("mute before %f\n", mute->getValue());
    xscreen::click (editor->getScreenPosition() + juce::Point<int> (247, 139));
    xscreen::pump (200);
    std::printf ("mute after %f\n", mute->getValue());
    close();
    std::printf ("prefs exists %d\n", (int) preferencesFile().existsAsFile());
}
