#include <gtest/gtest.h>

#include "engine/PlimbradeDSP.h"

#include <memory>

TEST (EngineFrame, ReportsStereoAndTheRateItWasGiven)
{
    auto engine = std::make_unique<PlimbradeDSP>();
    EXPECT_EQ (engine->getNumInputs(), 2);
    EXPECT_EQ (engine->getNumOutputs(), 2);
    EXPECT_EQ (engine->getSampleRate(), 0);
    engine->init (384000);
    EXPECT_EQ (engine->getSampleRate(), 384000);
}
