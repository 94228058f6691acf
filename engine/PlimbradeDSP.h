#pragma once

#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>
#include <faust/gui/meta.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

/*  The whole effect: a stereo two-band delay with feedback, diffusion, damping,
    pitch shifting and random drift, behind Faust's dsp interface.

    Every control, constant, filter state and delay line is a plain field, so the
    engine never allocates after creation. The rings make the object about 14 MB:
    create it on the heap and value-initialise it (std::make_unique<PlimbradeDSP>()
    or new PlimbradeDSP()), which zeroes every field; call init before compute.
*/
class PlimbradeDSP : public dsp
{
public:
    int getNumInputs() override { return 2; }
    int getNumOutputs() override { return 2; }
    void buildUserInterface (UI* ui) override;
    int getSampleRate() override { return sampleRate; }
    void init (int rate) override { instanceInit (rate); }
    void instanceInit (int rate) override;
    void instanceConstants (int rate) override;
    void instanceResetUserInterface() override;
    void instanceClear() override;
    dsp* clone() override { return new PlimbradeDSP(); }
    void metadata (Meta* m) override;
    void compute (int count, FAUSTFLOAT** inputs, FAUSTFLOAT** outputs) override;

    using dsp::compute;

    static constexpr int numAllpassStages = 8;

    // How the engine reads its controls, for code that must predict what it
    // does (the host's tail query) without a copy of the rules.

    // Delay per diffuser stage in seconds: 10 ms to 59 ms, 7 ms apart.
    static constexpr float allpassSeconds[numAllpassStages] = { 0.010f, 0.017f, 0.024f, 0.031f,
                                                                0.038f, 0.045f, 0.052f, 0.059f };

    // A stage's all-pass length in samples at the clamped rate fs: the product
    // is taken in single precision before the 1 is subtracted.
    static int allpassLengthAt (int stage, float fs) noexcept
    {
        const float product = allpassSeconds[stage] * fs;
        return static_cast<int> (std::min (fs, std::max (0.0f, product - 1.0f)));
    }

    // Length of each synced-time menu entry in quarter-note beats.
    static constexpr float noteBeats[18] = { 4.0f, 3.0f, 2.0f, 1.5f, 4.0f / 3.0f, 1.0f, 0.75f, 2.0f / 3.0f, 0.5f,
                                             0.375f, 1.0f / 3.0f, 0.25f, 0.1875f, 1.0f / 6.0f, 0.125f, 0.09375f,
                                             1.0f / 12.0f, 0.0625f };

    // The largest entry whose index the value reaches: fractions round down,
    // anything below 1 (NaN included) takes the whole bar, anything above 17 the last entry.
    static int syncedTimeIndex (float value) noexcept
    {
        if (value >= 17.0f)
            return 17;
        if (value >= 1.0f)
            return static_cast<int> (value);
        return 0;
    }

    // A menu zone read as "truncated to an integer, not zero".
    static bool isOn (float value) noexcept { return std::fabs (value) >= 1.0f; }

    /*  The four band chains (low left, low right, high left, high right) run
        the same operations with the same all-pass lengths, so their rings are
        interleaved: entry n of a ring holds the four chains' samples side by
        side, and one vector operation serves all four.
    */
    static constexpr int numChains = 4;
    static constexpr int numRings = numAllpassStages + 3; // diffuser stages, PRE, delay, POST

    // Length of each chain's ring, in samples.
    static constexpr int allpassRingSize (int stage) noexcept
    {
        return stage == 0 ? 2048 : stage == 1 ? 4096
                               : stage < 5    ? 8192
                                              : 16384;
    }
    static constexpr int preRingSize = 131072;
    static constexpr int delayRingSize = 524288;
    static constexpr int postRingSize = 131072;

    static constexpr int ringSize (int ring) noexcept
    {
        return ring < numAllpassStages        ? allpassRingSize (ring)
               : ring == numAllpassStages     ? preRingSize
               : ring == numAllpassStages + 1 ? delayRingSize
                                              : postRingSize;
    }

    /*  Power-of-two rings laid end to end would all start at the same offset
        modulo 4 KiB, so the writes of one sample would all land in one L1 set
        and evict each other. Each ring is therefore pushed one cache line
        further than the one before it.
    */
    static constexpr std::size_t ringStagger = 16; // floats: one 64-byte line

    static constexpr std::size_t ringOffset (int ring) noexcept
    {
        std::size_t offset = 0;
        for (int r = 0; r < ring; ++r)
            offset += static_cast<std::size_t> (ringSize (r)) * numChains + ringStagger;
        return offset;
    }

    // 866,304 samples per chain, plus the stagger.
    static constexpr std::size_t ringFloats = (2048 + 4096 + 3 * 8192 + 3 * 16384 + preRingSize + delayRingSize + postRingSize) * numChains
                                              + numRings * ringStagger;

private:
    friend class PlimbradeDSPTestAccess;

    // Control zones. Their order is the host parameter order (less bpm), so it
    // must not change.
    float drywet, amp, lowamp, lowmute, lowpan, pitchstage, lowpitch, driftdepth, driftrate,
        lowpitchwindow, delaymode, lowfeed, diffusion, lowdamp, cutoff, res, lowtimesync, lowtime,
        bpm, lowsyncedtime, highamp, highmute, highpan, highpitch, highpitchwindow, highfeed,
        highdamp, hightimesync, hightime, highsyncedtime;

    int sampleRate;

    // Rate-dependent constants, from the rate clamped to 1 .. 192000 Hz.
    float percentSmoothCoef, smoothCoef, smoothPole, piOverFs, twoPiOverFs;
    int allpassLength[numAllpassStages];
    float maxDelay, maxDelayIndex, samplesPerMs, samplesPerMinute, driftTimeFactor;

    // Per band, shared by both channels.
    struct BandState
    {
        float shiftPhase;
        float xfadeStep, xfadePos, tapA, tapB;
        // The last argument and result of the band's transcendental functions:
        // they are recomputed only when the argument moves.
        float shiftKey, ratio;
        float dampKey, dampA, dampB;
    };

    // Per channel.
    struct ChannelState
    {
        float splitIc1, splitIc2;
        float satPrev, dcOut;
    };

    int writeIndex;

    float ampSmooth, dryWetSmooth, lowGainSmooth, highGainSmooth, lowOpenSmooth, highOpenSmooth,
        lowPanSmooth, highPanSmooth, diffusionSmooth, cutoffSmooth, lowDampSmooth, highDampSmooth,
        lowTimeSmooth, highTimeSmooth;

    int firstSampleSeen;
    float driftOscS, driftOscC;
    std::int32_t noiseSeed;
    float driftHeld;
    float driftLp[5];

    float cutoffKey, cutoffG;

    BandState band[2];
    ChannelState channel[2];

    // Per chain, one lane each, in the rings' lane order.
    alignas (16) float diffuserTap[numAllpassStages][numChains];
    alignas (16) float dampPrevIn[numChains];
    alignas (16) float dampPrevOut[numChains];
    alignas (16) float lastDelayRead[numChains];

    alignas (64) float rings[ringFloats];
};
