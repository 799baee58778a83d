#include "network/noise.hpp"

#include "network/conversions.hpp"
#include "network/wide_complex.hpp"

namespace tavrin {

void renormalise_noise(NoiseParameters& p, double r1, double n, bool rn_in_ohms) {
    const long double old_z = r1;
    const long double new_z = n;
    const long double r = (new_z - old_z) / (new_z + old_z);
    const WideComplex optimum = polar_to_wide(p.gamma_magnitude, p.gamma_degrees);
    const WideComplex one{1.0L, 0.0L};
    const WideComplex shifted = (optimum - WideComplex{r, 0.0L}) / (one - r * optimum);
    wide_to_polar(shifted, p.gamma_magnitude, p.gamma_degrees);
    const long double resistance = p.resistance;
    p.resistance = static_cast<double>(rn_in_ohms ? resistance / new_z
                                                  : (resistance * old_z) / new_z);
}

}  // namespace tavrin
