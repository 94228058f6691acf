#pragma once

#include <cmath>

/*  The whole-number rate the engine is set up for when the host gives
    hostRate. The engine's smoothers have the pole 1 - 44.1 / fs, which falls
    below -1 at 22 Hz and fills every sample with NaN from then on, and a rate
    that is not a number, infinite or beyond int cannot be converted to one.
    So a rate below 8 kHz, the lowest in common use, or one that is not finite
    runs the engine as at 8 kHz; one above 192 kHz runs it as at 192 kHz, where
    the engine holds its constants anyway. Fractions are cut: 44100.9 Hz runs
    it at 44100 Hz.
*/
constexpr double lowestEngineRate = 8000.0, highestEngineRate = 192000.0;

inline int engineRate (double hostRate) noexcept
{
    if (! std::isfinite (hostRate) || hostRate < lowestEngineRate)
        return static_cast<int> (lowestEngineRate);
    return static_cast<int> (std::fmin (hostRate, highestEngineRate));
}
