// Speed of the editor in-process, in a real window on the X display (run it
// under xvfb-run): time from createEditor to the first complete paint, the
// process's CPU share while the editor sits idle for 5 s (with every repaint
// in that time named), and a full software repaint at 1200 x 780.
//
//     xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" build/test/bench/corvantide_editor_bench

#include "editor/PluginEditor.h"
#include "presets/TempHome.h"
#include "processor/PluginProcessor.h"
#include "support/MessagePump.h"
#include "support/XErrorHandler.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <typeinfo>
#include <vector>

namespace
{
using Clock = std::chrono::steady_clock;

double millisecondsSince (Clock::time_point start)
{
    return std::chrono::duration<double, std::milli> (Clock::now() - start).count();
}

double median (std::vector<double> v)
{
    std::sort (v.begin(), v.end());
    return v[v.size() / 2];
}

double cpuSeconds()
{
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    return (double) usage.ru_utime.tv_sec + (double) usage.ru_stime.tv_sec + ((double) usage.ru_utime.tv_usec + (double) usage.ru_stime.tv_usec) * 1.0e-6;
}

// The top-level window a host would give the editor. Whatever part of the
// editor is repainted, this window's paintOverChildren runs after it, so it
// sees every paint and the area it covered.
struct HostWindow : juce::Component
{
    void paintOverChildren (juce::Graphics& g) override
    {
        ++paints;
        if (! firstPaint.has_value())
            firstPaint = Clock::now();
        const auto area = g.getClipBounds();
        if (auto* hit = getComponentAt (area.getCentre()))
            repainted[juce::String (typeid (*hit).name()) + " " + hit->getName() + " " + area.toString()]++;
    }

    std::optional<Clock::time_point> firstPaint;
    int paints = 0;
    std::map<juce::String, int> repainted;
};

// Runs the message loop, blocked in the system's wait while there is
// nothing to do (as a host's loop is), so the loop itself costs no CPU. The
// editor's 100 ms timer wakes it, so it overshoots by at most one tick.
void runFor (double milliseconds)
{
    const auto start = Clock::now();
    while (millisecondsSince (start) < milliseconds)
        juce::dispatchNextMessageOnSystemQueue (false);
}

struct Opening
{
    double createMs = 0.0, firstPaintMs = 0.0;
};

Opening openOnce (AudioPluginAudioProcessor& processor, HostWindow& window, std::unique_ptr<juce::AudioProcessorEditor>& editor)
{
    Opening result;
    window.firstPaint.reset();
    const auto start = Clock::now();
    editor.reset (processor.createEditor());
    result.createMs = millisecondsSince (start);
    window.setSize (editor->getWidth(), editor->getHeight());
    window.addAndMakeVisible (*editor);
    window.addToDesktop (0);
    window.setVisible (true);
    while (! window.firstPaint.has_value() && millisecondsSince (start) < 5000.0)
        if (! juce::dispatchNextMessageOnSystemQueue (true))
            juce::Thread::yield();
    result.firstPaintMs = window.firstPaint.has_value() ? std::chrono::duration<double, std::milli> (*window.firstPaint - start).count() : -1.0;
    return result;
}

void close (AudioPluginAudioProcessor& processor, HostWindow& window, std::unique_ptr<juce::AudioProcessorEditor>& editor)
{
    window.removeFromDesktop();
    window.removeAllChildren();
    processor.editorBeingDeleted (editor.get());
    editor.reset();
    runFor (20);
}
} // namespace

int main()
{
    testutil::ignoreMissingAtomErrors();
    TempHome home; // the processor makes its preset folder, the editor its preferences file, under $HOME
    juce::ScopedJuceInitialiser_GUI juce;
    AudioPluginAudioProcessor processor;
    HostWindow window;
    std::unique_ptr<juce::AudioProcessorEditor> editor;

    // 1. Opening: the first one in the process pays for the typeface and the
    //    shared tooltip window; later ones show the steady cost.
    std::vector<double> creates, paints;
    for (int i = 0; i < 8; ++i)
    {
        const auto opening = openOnce (processor, window, editor);
        if (i == 0)
            std::printf ("first opening:   createEditor %6.1f ms, first paint after %6.1f ms\n", opening.createMs, opening.firstPaintMs);
        else
            creates.push_back (opening.createMs), paints.push_back (opening.firstPaintMs);
        close (processor, window, editor);
    }
    std::printf ("later openings:  createEditor %6.1f ms, first paint after %6.1f ms (median of %zu)\n", median (creates), median (paints), paints.size());

    // 2. Idle: the same window first empty, for the process's own share
    //    (the framework's timer thread and the loop), then with the editor
    //    open, after its first paints and timer ticks, for 5 s of nothing.
    const auto idle = [&window] (const char* what) {
        runFor (1000);
        window.paints = 0;
        window.repainted.clear();
        const auto cpuBefore = cpuSeconds();
        const auto idleStart = Clock::now();
        runFor (5000);
        const auto idleSeconds = millisecondsSince (idleStart) / 1000.0;
        std::printf ("idle for %.1f s, %s: %.2f %% of a core, %d repaints\n", idleSeconds, what, 100.0 * (cpuSeconds() - cpuBefore) / idleSeconds, window.paints);
        for (const auto& [area, count] : window.repainted)
            std::printf ("    %4d x %s\n", count, area.toRawUTF8());
    };
    window.setSize (800, 520);
    window.addToDesktop (0);
    window.setVisible (true);
    idle ("empty window");
    window.removeFromDesktop();
    openOnce (processor, window, editor);
    idle ("editor open");
    if (auto* ours = dynamic_cast<AudioPluginAudioProcessorEditor*> (editor.get()))
    {
        ours->controller.stopTimer();
        idle ("editor open, controller's timer stopped");
        ours->controller.startTimer (100);
    }

    // 3. A full repaint at 1200 wide, into an image, as the window's paint does it.
    editor->setSize (1200, 780);
    runFor (50);
    juce::Image image (juce::Image::ARGB, 1200, 780, true, juce::SoftwareImageType());
    std::vector<double> repaints;
    for (int i = 0; i < 60; ++i)
    {
        juce::Graphics g (image);
        const auto start = Clock::now();
        editor->paintEntireComponent (g, false);
        repaints.push_back (millisecondsSince (start));
    }
    std::printf ("full repaint at %d x %d: %.2f ms (median of %zu; fastest %.2f)\n", editor->getWidth(), editor->getHeight(), median (repaints), repaints.size(),
                 *std::min_element (repaints.begin(), repaints.end()));

    close (processor, window, editor);
    return 0;
}
