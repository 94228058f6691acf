// Building the processor with many presets in the user's folder, which a host
// does for every instance as it opens a project: the time of the constructor
// (median of 5) with the presets flat, in 100 folders of 100 and in 10,000
// folders of one, against a folder without presets. The folder is made once
// in a temporary HOME; only the construction is timed.
//
//     corvantide_preset_bench [number of presets, 10000 by default]

#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double medianConstructionMs (size_t expectedPresets)
{
    std::vector<double> times;
    for (int run = 0; run < 5; ++run)
    {
        const auto start = Clock::now();
        AudioPluginAudioProcessor processor;
        times.push_back (std::chrono::duration<double, std::milli> (Clock::now() - start).count());
        if (processor.presetManager->presetFiles.size() != expectedPresets)
        {
            std::fprintf (stderr, "listed %zu presets, expected %zu\n", processor.presetManager->presetFiles.size(), expectedPresets);
            std::exit (1);
        }
    }
    std::sort (times.begin(), times.end());
    return times[times.size() / 2];
}

// `presets` files, `perFolder` in each sub-folder, or all at the top when 0.
void fill (const juce::File& folder, int presets, int perFolder)
{
    const auto text = juce::String ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<corvantide><PARAM id=\"drywet\" value=\"25\"/></corvantide>\n");
    for (int i = 0; i < presets; ++i)
    {
        const auto parent = perFolder == 0 ? folder : folder.getChildFile ("Bank " + juce::String (i / perFolder + 1));
        parent.createDirectory();
        parent.getChildFile ("Preset " + juce::String (i + 1) + ".cvp").replaceWithText (text);
    }
}
} // namespace

int main (int argc, char** argv)
{
    const int presets = argc > 1 ? std::max (1, std::atoi (argv[1])) : 10000;
    const juce::ScopedJuceInitialiser_GUI juce;

    std::printf ("processor construction, median of 5, %d presets\n", presets);
    const struct
    {
        const char* layout;
        int perFolder;
    } layouts[] { { "no presets", -1 }, { "flat", 0 }, { "100 a folder", 100 }, { "1 a folder", 1 } };

    for (const auto& [layout, perFolder] : layouts)
    {
        TempHome home;
        home.presetFolder().createDirectory();
        if (perFolder >= 0)
            fill (home.presetFolder(), presets, perFolder);
        std::printf ("  %-14s %8.1f ms\n", layout, medianConstructionMs (perFolder >= 0 ? (size_t) presets : 0u));
    }
    return 0;
}
