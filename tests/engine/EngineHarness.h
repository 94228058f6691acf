#pragma once

#include "engine/PlimbradeDSP.h"

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

// Reaches the engine's private constants and state for the frame tests.
class PlimbradeDSPTestAccess
{
public:
    struct Constants
    {
        float percentSmoothCoef, smoothCoef, smoothPole, piOverFs, twoPiOverFs;
        std::vector<int> allpassLength;
        float maxDelay, maxDelayIndex, samplesPerMs, samplesPerMinute, driftTimeFactor;
    };

    static Constants constants (const PlimbradeDSP& e)
    {
        return { e.percentSmoothCoef, e.smoothCoef, e.smoothPole, e.piOverFs, e.twoPiOverFs,
                 std::vector<int> (std::begin (e.allpassLength), std::end (e.allpassLength)),
                 e.maxDelay, e.maxDelayIndex, e.samplesPerMs, e.samplesPerMinute, e.driftTimeFactor };
    }

    static const float* rings (const PlimbradeDSP& e) { return e.rings; }
    static float* rings (PlimbradeDSP& e) { return e.rings; }
    static int writeIndex (const PlimbradeDSP& e) { return e.writeIndex; }
    static void setWriteIndex (PlimbradeDSP& e, int index) { e.writeIndex = index; }

    struct Crossfade
    {
        float step, pos, tapA, tapB;
    };
    static Crossfade crossfade (const PlimbradeDSP& e, int band)
    {
        const auto& b = e.band[band];
        return { b.xfadeStep, b.xfadePos, b.tapA, b.tapB };
    }

    static float driftValue (const PlimbradeDSP& e) { return e.driftLp[4]; }
    static float lowTimeSmooth (const PlimbradeDSP& e) { return e.lowTimeSmooth; }
    static float highTimeSmooth (const PlimbradeDSP& e) { return e.highTimeSmooth; }
};

// A UI that records everything the engine declares, in call order.
struct RecordingUI : UI
{
    struct Slider
    {
        std::string label;
        float* zone;
        float init, min, max, step;
    };
    struct Declare
    {
        float* zone;
        std::string key, value;
    };

    std::vector<std::string> boxes;
    int openBoxes = 0, closedBoxes = 0;
    std::vector<Slider> sliders;
    std::vector<Declare> declares;
    int otherWidgets = 0;

    void openTabBox (const char* label) override { boxes.push_back (label); ++openBoxes; }
    void openHorizontalBox (const char* label) override { boxes.push_back (label); ++openBoxes; }
    void openVerticalBox (const char* label) override { boxes.push_back (label); ++openBoxes; }
    void closeBox() override { ++closedBoxes; }
    void addButton (const char*, float*) override { ++otherWidgets; }
    void addCheckButton (const char*, float*) override { ++otherWidgets; }
    void addVerticalSlider (const char*, float*, float, float, float, float) override { ++otherWidgets; }
    void addNumEntry (const char*, float*, float, float, float, float) override { ++otherWidgets; }
    void addHorizontalBargraph (const char*, float*, float, float) override { ++otherWidgets; }
    void addVerticalBargraph (const char*, float*, float, float) override { ++otherWidgets; }
    void addSoundfile (const char*, const char*, Soundfile**) override { ++otherWidgets; }

    void addHorizontalSlider (const char* label, float* zone, float init, float min, float max, float step) override
    {
        sliders.push_back ({ label, zone, init, min, max, step });
    }

    void declare (float* zone, const char* key, const char* value) override
    {
        declares.push_back ({ zone, key, value });
    }
};

// The engine as the plug-in drives it: created value-initialised on the heap,
// controls reached through the zones it declares.
class TestEngine
{
public:
    explicit TestEngine (int rate = 48000)
        : engine (std::make_unique<PlimbradeDSP>())
    {
        RecordingUI ui;
        engine->buildUserInterface (&ui);
        for (auto& s : ui.sliders)
            zones[s.label] = s.zone;
        if (rate > 0)
            engine->init (rate);
    }

    float& operator[] (const std::string& id)
    {
        auto it = zones.find (id);
        if (it == zones.end())
            throw std::out_of_range ("no zone " + id);
        return *it->second;
    }

    // Processes in place, in blocks of the given size.
    void process (std::vector<float>& left, std::vector<float>& right, int blockSize = 256)
    {
        const int total = static_cast<int> (left.size());
        for (int start = 0; start < total; start += blockSize)
        {
            const int n = std::min (blockSize, total - start);
            float* channels[2] = { left.data() + start, right.data() + start };
            engine->compute (n, channels, channels);
        }
    }

    PlimbradeDSP& operator*() { return *engine; }
    PlimbradeDSP* operator->() { return engine.get(); }

private:
    std::unique_ptr<PlimbradeDSP> engine;
    std::map<std::string, float*> zones;
};
