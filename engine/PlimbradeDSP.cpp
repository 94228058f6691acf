#include "engine/PlimbradeDSP.h"

void PlimbradeDSP::compute (int, FAUSTFLOAT**, FAUSTFLOAT**) {}
