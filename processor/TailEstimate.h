#pragma once

#include <array>
#include <atomic>

#include "processor/ParamBridge.h"

/*  How long the output keeps ringing above -90 dBFS once the input stops, for
    the host's tail query. Hosts ask from any thread, so the parameters are
    read from their atomic raw values and the tempo from an atomic of this
    object's own; the engine's audio-thread state is never touched.

    The estimate follows the engine's feedback loop per band: the first echo
    arrives one loop later at most at the level the output gains allow, every
    further pass multiplies it by the feedback, and the loop's slowest decay
    rate is found from where the loop gain can reach 1 inside the unit circle
    (see seconds()). It errs long: a tail that is too short makes a host cut
    echoes.
*/
class TailEstimate
{
public:
    // The controls as the engine reads them from its zones (on/off and choices
    // as whole numbers), plus the tempo the processor last gave it.
    struct Settings
    {
        float drywet = 50.0f, amp = 0.0f, pitchstage = 1.0f, driftdepth = 0.0f, diffusion = 0.0f, cutoff = 1000.0f, res = 40.0f;
        float lowamp = 0.0f, lowmute = 0.0f, lowfeed = 60.0f, lowdamp = 6000.0f, lowtimesync = 1.0f, lowtime = 60.0f, lowsyncedtime = 6.0f, lowpitchwindow = 1024.0f;
        float highamp = 0.0f, highmute = 0.0f, highfeed = 60.0f, highdamp = 6000.0f, hightimesync = 1.0f, hightime = 120.0f, highsyncedtime = 8.0f, highpitchwindow = 1024.0f;
        float bpm = 120.0f;
    };

    // Finite tails beyond this are reported as endless: the host's sample count
    // must fit 32 bits at every rate, and nobody waits an hour for a delay.
    static constexpr double longestFiniteSeconds = 3600.0;

    explicit TailEstimate (const ParamBridge& bridge);

    // From the audio thread, every block: one relaxed store. Kept across
    // activations: until the first block brings the host's tempo again, the
    // last one heard is the best guess.
    void setTempo (float bpm) noexcept { tempo.store (bpm, std::memory_order_relaxed); }

    Settings currentSettings() const noexcept;

    // At the host's rate; infinity where a band's echoes never die away.
    double seconds (double sampleRate) const noexcept { return seconds (currentSettings(), sampleRate); }
    static double seconds (const Settings& settings, double sampleRate) noexcept;

private:
    struct Source
    {
        float Settings::*field;
        const ParamBridge::Entry* entry;
    };

    std::array<Source, 23> sources {};
    std::atomic<float> tempo { 120.0f };

    static_assert (std::atomic<float>::is_always_lock_free);
};
