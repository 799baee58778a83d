#include "network/noise.hpp"

#include "network/conversions.hpp"
#include "network/wide_complex.hpp"

namespace tavrin {

void renormalise_noise(NoiseParameters& p, double r1, double n, bool rn_in_ohms) {
    const Extended old_z = r1;
    const Extended new_z = n;
    const Extended r = (new_z - old_z) / (new_z + old_z);
    const WideComplex optimum = polar_to_wide(p.gamma_magnitude, p.gamma_degrees);
    const WideComplex one{Extended(1.0), Extended(0.0)};
    const WideComplex shifted = (optimum - WideComplex{r, Extended(0.0)}) / (one - r * optimum);
    wide_to_polar(shifted, p.gamma_magnitude, p.gamma_degrees);
    const Extended resistance = p.resistance;
    p.resistance = static_cast<double>(rn_in_ohms ? resistance / new_z
                                                  : (resistance * old_z) / new_z);
}

}  // namespace tavrin
