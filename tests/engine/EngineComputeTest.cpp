#include <gtest/gtest.h>

#include "EngineHarness.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace
{
constexpr float pi = 3.14159265358979f;

struct Stereo
{
    std::vector<float> left, right;
    explicit Stereo (size_t n = 0) : left (n, 0.0f), right (n, 0.0f) {}
};

Stereo noise (size_t n, std::uint32_t seed = 1)
{
    Stereo s (n);
    for (size_t i = 0; i < n; ++i)
    {
        seed = seed * 1664525u + 1013904223u;
        s.left[i] = static_cast<float> (static_cast<std::int32_t> (seed)) * 2.3e-10f;
        seed = seed * 1664525u + 1013904223u;
        s.right[i] = static_cast<float> (static_cast<std::int32_t> (seed)) * 2.3e-10f;
    }
    return s;
}

Stereo sine (size_t n, float hz, float rate, float level = 0.1f)
{
    Stereo s (n);
    for (size_t i = 0; i < n; ++i)
        s.left[i] = s.right[i] = level * std::sin (2.0f * pi * hz * static_cast<float> (i) / rate);
    return s;
}

Stereo impulseAt (size_t n, size_t at)
{
    Stereo s (n);
    s.left[at] = s.right[at] = 0.5f;
    return s;
}

// Processes a copy in place with the given block sizes, cycling through them.
Stereo render (TestEngine& engine, Stereo signal, const std::vector<int>& blocks = { 256 })
{
    size_t start = 0, b = 0;
    while (start < signal.left.size())
    {
        const int n = std::min (blocks[b++ % blocks.size()], static_cast<int> (signal.left.size() - start));
        float* channels[2] = { signal.left.data() + start, signal.right.data() + start };
        engine->compute (n, channels, channels);
        start += static_cast<size_t> (std::max (n, 0));
    }
    return signal;
}

void useActiveSetting (TestEngine& e)
{
    e["lowpitch"] = 7.0f;
    e["highpitch"] = -5.0f;
    e["pitchstage"] = 1.0f;
    e["diffusion"] = 50.0f;
    e["driftdepth"] = 50.0f;
    e["lowfeed"] = 70.0f;
    e["highfeed"] = 70.0f;
    // Short times, so that a few thousand samples hear several repeats.
    e["lowtimesync"] = e["hightimesync"] = 0.0f;
    e["lowtime"] = 20.0f;
    e["hightime"] = 35.0f;
}

// One band alone, straight through the delay: no shifter, no feedback
// colouring, the other band muted.
void isolateBand (TestEngine& e, bool low)
{
    e["pitchstage"] = 0.0f;
    e["drywet"] = 100.0f;
    e["diffusion"] = 0.0f;
    e[low ? "highmute" : "lowmute"] = 1.0f;
    e["cutoff"] = low ? 11000.0f : 60.0f;
    e[low ? "lowdamp" : "highdamp"] = 11000.0f;
}

// Samples from the impulse to the first output above the threshold, searching
// from `from` on.
long onsetAfter (const Stereo& out, size_t from, float threshold = 0.02f)
{
    for (size_t i = from; i < out.left.size(); ++i)
        if (std::fabs (out.left[i]) > threshold)
            return static_cast<long> (i);
    return -1;
}

// Settles the smoothers on silence, then sends one impulse; returns the
// output from the impulse on.
Stereo echoOfImpulse (TestEngine& e, size_t length, size_t settle = 96000)
{
    render (e, Stereo (settle));
    return render (e, impulseAt (length, 0));
}

// The frequency of a tone from its zero crossings.
double zeroCrossingHz (const std::vector<float>& x, size_t from, float rate)
{
    int crossings = 0;
    for (size_t i = from + 1; i < x.size(); ++i)
        crossings += (x[i - 1] < 0.0f) != (x[i] < 0.0f) ? 1 : 0;
    return crossings * 0.5 * rate / static_cast<double> (x.size() - from - 1);
}

double rms (const std::vector<float>& x, size_t from)
{
    double sum = 0;
    for (size_t i = from; i < x.size(); ++i)
        sum += static_cast<double> (x[i]) * x[i];
    return std::sqrt (sum / static_cast<double> (x.size() - from));
}

bool bitIdentical (const Stereo& a, const Stereo& b)
{
    return a.left == b.left && a.right == b.right;
}
} // namespace

TEST (EngineCompute, OutputDoesNotDependOnHowTheStreamIsCutIntoBlocks)
{
    const auto input = noise (6000);
    auto renderWith = [&] (const std::vector<int>& blocks) {
        TestEngine e;
        useActiveSetting (e);
        e["delaymode"] = 1.0f;
        return render (e, input, blocks);
    };

    const auto whole = renderWith ({ 128 });
    EXPECT_TRUE (bitIdentical (whole, renderWith ({ 64 })));
    EXPECT_TRUE (bitIdentical (whole, renderWith ({ 1, 0, 255, 7, 0, 1000, 3 })));
    EXPECT_TRUE (bitIdentical (whole, renderWith ({ 6000 })));
}

TEST (EngineCompute, EmptyAndNegativeBlocksTouchNothing)
{
    TestEngine e;
    Stereo s = noise (8);
    const Stereo before = s;
    float* channels[2] = { s.left.data(), s.right.data() };
    e->compute (0, channels, channels);
    e->compute (-5, channels, channels);
    EXPECT_TRUE (bitIdentical (s, before));
    EXPECT_EQ (PlimbradeDSPTestAccess::writeIndex (*e), 0);
    EXPECT_EQ (PlimbradeDSPTestAccess::lowTimeSmooth (*e), 0.0f);
}

TEST (EngineCompute, InPlaceSeparateBuffersAndRepeatedInitsAgree)
{
    const auto input = noise (5000);

    TestEngine inPlace;
    useActiveSetting (inPlace);
    const auto expected = render (inPlace, input);

    TestEngine separate;
    useActiveSetting (separate);
    Stereo out (input.left.size());
    Stereo in = input;
    for (size_t start = 0; start < in.left.size(); start += 300)
    {
        const int n = static_cast<int> (std::min<size_t> (300, in.left.size() - start));
        float* ins[2] = { in.left.data() + start, in.right.data() + start };
        float* outs[2] = { out.left.data() + start, out.right.data() + start };
        separate->compute (n, ins, outs);
    }
    EXPECT_TRUE (bitIdentical (out, expected));
    EXPECT_TRUE (bitIdentical (in, input)) << "separate inputs must stay untouched";

    // init restores zones, states, rings and the drift's noise sequence.
    separate->init (48000);
    useActiveSetting (separate);
    EXPECT_TRUE (bitIdentical (render (separate, input), expected));
    separate->instanceClear();
    EXPECT_TRUE (bitIdentical (render (separate, input), expected));
}

TEST (EngineCompute, TheSampleCounterWrapsAroundWithoutATrace)
{
    // After 2^31 samples (12 hours at 48 kHz) the counter passes the top of
    // its range; every ring index is taken modulo the ring, so nothing moves.
    const auto input = noise (3000, 5);
    TestEngine fresh, late;
    useActiveSetting (fresh);
    useActiveSetting (late);
    PlimbradeDSPTestAccess::setWriteIndex (*late, std::numeric_limits<int>::max() - 1000);
    EXPECT_TRUE (bitIdentical (render (fresh, input), render (late, input)));
    EXPECT_EQ (PlimbradeDSPTestAccess::writeIndex (*late), std::numeric_limits<int>::min() + 1999);
}

TEST (EngineCompute, SwappedInputsGiveSwappedOutputs)
{
    auto input = noise (5000, 7);
    input.left[100] = 0.9f;

    TestEngine a, b;
    useActiveSetting (a);
    useActiveSetting (b);
    const auto straight = render (a, input);
    Stereo swapped;
    swapped.left = input.right;
    swapped.right = input.left;
    const auto crossed = render (b, swapped);
    EXPECT_EQ (straight.left, crossed.right);
    EXPECT_EQ (straight.right, crossed.left);
}

TEST (EngineCompute, EchoesAreSpacedByTheDelayTimePlusOneSample)
{
    for (bool low : { true, false })
    {
        SCOPED_TRACE (low ? "low band" : "high band");
        TestEngine e;
        isolateBand (e, low);
        e[low ? "lowtimesync" : "hightimesync"] = 0.0f;
        e[low ? "lowtime" : "hightime"] = 10.0f; // 480 samples
        e[low ? "lowfeed" : "highfeed"] = 90.0f;

        const auto out = echoOfImpulse (e, 2000);
        const long first = onsetAfter (out, 100);
        const long second = onsetAfter (out, static_cast<size_t> (first) + 100);
        EXPECT_EQ (first, 480);
        EXPECT_EQ (second - first, 481);
    }
}

TEST (EngineCompute, SyncedTimesFollowTheTempoAndTheIndexRule)
{
    struct Case
    {
        float bpm, syncedTime;
        long expected;
    };
    const Case cases[] = {
        { 120.0f, 8.0f, 12000 },  // 1/8 at 120 bpm: 0.5 beat of 24000 samples
        { 120.0f, 5.7f, 24000 },  // a fraction takes the entry below: 1/4
        { 120.0f, 20.0f, 1500 },  // above the table: 1/64
        { 120.0f, -1.0f, 96000 }, // below: one bar, 4 beats, at the 2 s ceiling
        { 1500.0f, 8.0f, 960 },   // fast tempi are used as they are
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.bpm << " bpm, index " << c.syncedTime);
        TestEngine e;
        isolateBand (e, true);
        e["lowfeed"] = 0.0f;
        e["bpm"] = c.bpm;
        e["lowsyncedtime"] = c.syncedTime;
        // The smoother settles within a few float steps of its target: about
        // one sample per 10,000.
        const long onset = onsetAfter (echoOfImpulse (e, static_cast<size_t> (c.expected) + 100, 200000), 10);
        EXPECT_NEAR (onset, c.expected, c.expected / 10000 + 1);
    }

    TestEngine unsynced;
    isolateBand (unsynced, true);
    unsynced["lowfeed"] = 0.0f;
    unsynced["lowtimesync"] = 0.0f;
    EXPECT_EQ (onsetAfter (echoOfImpulse (unsynced, 3000), 10), 2880); // 60 ms
}

TEST (EngineCompute, MenuZonesReadAsTheirWholeNumbers)
{
    const auto input = noise (6000, 3);
    auto renderWith = [&] (float stage, float mode) {
        TestEngine e;
        useActiveSetting (e);
        e["pitchstage"] = stage;
        e["delaymode"] = mode;
        return render (e, input);
    };

    // Only exactly 1 and 2 select a shifter stage.
    EXPECT_TRUE (bitIdentical (renderWith (1.5f, 0.0f), renderWith (0.0f, 0.0f)));
    EXPECT_FALSE (bitIdentical (renderWith (1.0f, 0.0f), renderWith (0.0f, 0.0f)));
    // The delay type truncates: 0.9 is still REPITCH.
    EXPECT_TRUE (bitIdentical (renderWith (1.0f, 0.9f), renderWith (1.0f, 0.0f)));
    EXPECT_FALSE (bitIdentical (renderWith (1.0f, 1.0f), renderWith (1.0f, 0.0f)));
}

TEST (EngineCompute, TwelveSemitonesMoveAToneByAnOctave)
{
    for (float stage : { 1.0f, 2.0f })
        for (float semitones : { 12.0f, -12.0f })
        {
            SCOPED_TRACE (testing::Message() << "stage " << stage << ", " << semitones << " semitones");
            TestEngine e;
            isolateBand (e, true);
            e["pitchstage"] = stage;
            e["lowpitch"] = semitones;
            e["lowfeed"] = 0.0f;
            e["lowtimesync"] = 0.0f;
            e["lowtime"] = 1.0f;
            const auto out = render (e, sine (48000, 440.0f, 48000.0f));

            const double target = semitones > 0 ? 880.0 : 220.0;
            EXPECT_NEAR (zeroCrossingHz (out.left, 24000, 48000.0f), target, 0.06 * target);
        }
}

TEST (EngineCompute, SmoothCrossfadesTake1024SamplesAndFollowAMovingTime)
{
    TestEngine e;
    e["delaymode"] = 1.0f;
    e["lowtimesync"] = 0.0f;
    e["lowtime"] = 500.0f;

    // After a clear the first sample starts a fade from tap 0 to the current time.
    std::vector<PlimbradeDSPTestAccess::Crossfade> states;
    Stereo one (1);
    for (int i = 0; i < 4000; ++i)
    {
        render (e, one, { 1 });
        states.push_back (PlimbradeDSPTestAccess::crossfade (*e, 0));
    }

    EXPECT_EQ (states[0].tapA, 0.0f);
    EXPECT_EQ (states[0].step, 1.0f / 1024.0f);
    EXPECT_EQ (states[1022].pos, 1023.0f / 1024.0f);
    EXPECT_EQ (states[1023].pos, 1.0f);
    EXPECT_EQ (states[1023].tapB, states[0].tapB) << "taps are frozen during a fade";

    // The time is still gliding up, so fades follow back to back, one sample apart.
    std::vector<int> fadeStarts;
    for (size_t i = 1; i < states.size(); ++i)
        if (states[i].step != 0.0f && states[i - 1].step == 0.0f)
            fadeStarts.push_back (static_cast<int> (i));
    ASSERT_GE (fadeStarts.size(), 3u);
    EXPECT_EQ (fadeStarts[0], 1025);
    for (size_t i = 1; i < fadeStarts.size(); ++i)
        EXPECT_EQ (fadeStarts[i] - fadeStarts[i - 1], 1025);
    // Arriving at B takes the newest time for A, and so does the start of the fade back.
    EXPECT_EQ (states[1024].step, 0.0f);
    EXPECT_NE (states[1024].tapA, states[1023].tapA);
    EXPECT_EQ (states[1025].step, -1.0f / 1024.0f);
    for (int i = 1026; i <= 2048; ++i)
        ASSERT_EQ (states[static_cast<size_t> (i)].tapA, states[1025].tapA) << i;
    EXPECT_EQ (states[2047].pos, 1.0f / 1024.0f);
    EXPECT_EQ (states[2048].pos, 0.0f);
}

TEST (EngineCompute, ZeroDryWetGivesTheDcBlockedSaturationOfTheInput)
{
    TestEngine e;
    useActiveSetting (e);
    e["drywet"] = 0.0f;
    auto input = noise (4000, 11);
    for (auto& x : input.left)
        x = 3.0f * x + 0.25f; // drive the saturation, with a DC offset to block
    const auto out = render (e, input);

    float satPrev = 0.0f, dcOut = 0.0f;
    for (size_t i = 0; i < input.left.size(); ++i)
    {
        const float y = std::tanh (input.left[i]);
        const float z = 0.995f * dcOut + y - satPrev;
        satPrev = y;
        dcOut = z;
        ASSERT_EQ (out.left[i], z) << i;
    }
    double mean = 0;
    for (size_t i = 2000; i < out.left.size(); ++i)
        mean += out.left[i];
    EXPECT_LT (std::fabs (mean / 2000.0), 0.05) << "the offset is blocked";
}

TEST (EngineCompute, BandSplitSendsAToneToTheSideOfTheCutoff)
{
    auto bandLevel = [] (float cutoff, bool low) {
        TestEngine e;
        isolateBand (e, low);
        e["cutoff"] = cutoff;
        e["lowfeed"] = e["highfeed"] = 0.0f;
        e["lowtimesync"] = e["hightimesync"] = 0.0f;
        e["lowtime"] = e["hightime"] = 1.0f;
        return rms (render (e, sine (24000, 1000.0f, 48000.0f)).left, 12000);
    };
    EXPECT_GT (bandLevel (60.0f, false), 30.0 * bandLevel (60.0f, true));
    EXPECT_GT (bandLevel (11000.0f, true), 30.0 * bandLevel (11000.0f, false));
}

TEST (EngineCompute, DriftStaysWithinOneSemitoneAndTenMilliseconds)
{
    TestEngine e;
    e["driftdepth"] = 100.0f;
    e["driftrate"] = 0.5f;
    Stereo one (1);
    render (e, one);
    EXPECT_EQ (PlimbradeDSPTestAccess::driftValue (*e), 0.0f) << "nothing held on the first sample";
    render (e, one);
    EXPECT_NE (PlimbradeDSPTestAccess::driftValue (*e), 0.0f) << "the first trigger comes on the second sample";

    e["driftrate"] = 5.0f;
    float largest = 0.0f;
    for (int block = 0; block < 4000; ++block)
    {
        render (e, Stereo (240));
        largest = std::max (largest, std::fabs (PlimbradeDSPTestAccess::driftValue (*e)));
    }
    EXPECT_LE (largest, 1.0f);
    EXPECT_GT (largest, 0.5f);

    // One unit of drift is 10 ms at full depth: the delay time moves by at most 480 samples.
    TestEngine timed;
    timed["driftdepth"] = 100.0f;
    timed["driftrate"] = 5.0f;
    timed["lowtimesync"] = 0.0f;
    timed["lowtime"] = 100.0f;
    isolateBand (timed, true);
    timed["lowfeed"] = 0.0f;
    Stereo clicks (480000);
    for (size_t at = 96000; at < clicks.left.size(); at += 9600)
        clicks.left[at] = clicks.right[at] = 0.5f;
    const auto out = render (timed, clicks);
    for (size_t at = 96000; at + 9600 <= clicks.left.size(); at += 9600)
    {
        const long echo = onsetAfter (out, at + 1, 0.01f) - static_cast<long> (at);
        EXPECT_GE (echo, 4800 - 481);
        EXPECT_LE (echo, 4800 + 481);
    }
}

TEST (EngineCompute, AnUnusableTempoCountsAsOneBeatPerMinuteAndDoesNotLatch)
{
    for (float bad : { 0.0f, -120.0f, std::numeric_limits<float>::quiet_NaN(), 0.5f })
    {
        SCOPED_TRACE (bad);
        TestEngine e;
        isolateBand (e, true);
        e["lowfeed"] = 0.0f;
        e["lowsyncedtime"] = 8.0f;
        e["bpm"] = bad;
        render (e, noise (48000));
        // 1 bpm puts 1/8 far beyond the 2 s ceiling.
        EXPECT_EQ (PlimbradeDSPTestAccess::lowTimeSmooth (*e), PlimbradeDSPTestAccess::lowTimeSmooth (*e));
        EXPECT_GT (PlimbradeDSPTestAccess::lowTimeSmooth (*e), 96000.0f);
        EXPECT_TRUE (std::isfinite (PlimbradeDSPTestAccess::lowTimeSmooth (*e)));

        // Once the host reports a tempo again, the echo comes back to 1/8 at 120 bpm.
        e["bpm"] = 120.0f;
        EXPECT_NEAR (onsetAfter (echoOfImpulse (e, 12100, 48000), 10), 12000, 2);
    }
}

TEST (EngineCompute, FiltersStayStableAtLowSampleRates)
{
    for (int rate : { 8000, 16000, 22050 })
    {
        SCOPED_TRACE (rate);
        TestEngine e (rate);
        useActiveSetting (e);
        e["cutoff"] = e["lowdamp"] = e["highdamp"] = 11000.0f;
        e["res"] = 100.0f;
        const auto out = render (e, noise (static_cast<size_t> (rate) * 2));
        for (size_t i = 0; i < out.left.size(); ++i)
        {
            ASSERT_TRUE (std::isfinite (out.left[i]) && std::isfinite (out.right[i])) << i;
            ASSERT_LT (std::fabs (out.left[i]), 2.0f) << i;
        }
        EXPECT_GT (rms (out.left, out.left.size() / 2), 0.01);
    }
}
