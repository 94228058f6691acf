#pragma once

#include <faust/dsp/dsp.h>
#include <faust/gui/UI.h>
#include <faust/gui/meta.h>

// Placeholder frame; the engine proper replaces it.
class PlimbradeDSP : public dsp
{
public:
    int getNumInputs() override { return 2; }
    int getNumOutputs() override { return 2; }
    void buildUserInterface (UI*) override {}
    int getSampleRate() override { return sampleRate; }
    void init (int rate) override { instanceInit (rate); }
    void instanceInit (int rate) override { instanceConstants (rate); instanceResetUserInterface(); instanceClear(); }
    void instanceConstants (int rate) override { sampleRate = rate; }
    void instanceResetUserInterface() override {}
    void instanceClear() override {}
    dsp* clone() override { return new PlimbradeDSP(); }
    void metadata (Meta*) override {}
    void compute (int, FAUSTFLOAT**, FAUSTFLOAT**) override;

private:
    int sampleRate = 0;
};
