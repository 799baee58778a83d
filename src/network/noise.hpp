// Noise parameters of a two-port, and how they read for another reference impedance.
#pragma once

namespace tavrin {

// One frequency's noise parameters as a Touchstone noise line gives them.
struct NoiseParameters {
    double fmin_db = 0.0;          // minimum noise figure, dB
    double gamma_magnitude = 0.0;  // optimum source reflection coefficient, |Gamma_opt|
    double gamma_degrees = 0.0;    // and its angle in degrees
    double resistance = 0.0;       // equivalent noise resistance: rn = Rn / R1, or Rn in ohms
};

// The same parameters against the real reference n, from R1, the reference they were given
// for. Fmin does not depend on the reference; the optimum source impedance stays the same, so
// Gamma_opt' = (Gamma_opt - r) / (1 - r Gamma_opt) with r = (n - R1)/(n + R1); rn' = rn R1 / n,
// or Rn / n when rn_in_ohms. In Extended; each value rounded to double once.
void renormalise_noise(NoiseParameters& p, double r1, double n, bool rn_in_ohms);

}  // namespace tavrin
