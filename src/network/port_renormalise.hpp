// Renormalisation from references that differ between the ports, or that are complex and change
// with frequency (a field solver's port impedances), to one new real reference at both ports.
#pragma once

#include <string_view>

#include "network/renormalise.hpp"
#include "network/wide_complex.hpp"

namespace tavrin {

// How waves are defined at a port of complex reference impedance Z. They coincide for a real Z.
//   traveling: a = (V + Z I) / (2 sqrt Z), b = (V - Z I) / (2 sqrt Z), principal square root;
//   power (Kurokawa): a = (V + Z I) / (2 sqrt Re Z), b = (V - conj(Z) I) / (2 sqrt Re Z);
//   pseudo (Marks and Williams): a, b = sqrt(Re Z) / (2 |Z|) (V +- Z I).
enum class WaveDefinition { traveling, power, pseudo };

// "traveling", "power" or "pseudo".
std::string_view wave_definition_name(WaveDefinition waves);

// The reference impedance of each port, in ohms.
struct PortImpedances {
    Complex port1;
    Complex port2;
};

// Whether waves of that definition exist for these references and the new real reference n:
// finite and not zero; power and pseudo waves also need Re Z > 0, traveling waves Z != -n.
bool references_usable(const PortImpedances& z, WaveDefinition waves, double n);
// The same for one port's reference.
bool port_reference_usable(const Complex& z, WaveDefinition waves, double n);

// A port's reflection coefficient (n - Z) / sum from the sum's reciprocal, which the scale
// factors need too; for a real Z as a true quotient, so that a reference equal to n gives
// exactly 0, one far from n exactly -1, and the network's zeros stay zeros.
inline WideComplex port_reflection(const WideComplex& z, Extended n, const WideComplex& sum,
                                   const WideComplex& over_sum) {
    if (z.im == Extended(0.0) && sum.im == Extended(0.0)) {
        return {(n - z.re) / sum.re, Extended(0.0)};
    }
    return WideComplex{n - z.re, -z.im} * over_sum;
}

// S' = L (S - G)(I - Gamma S)^-1 R^-1 with diagonal L, R, G, Gamma, which needs no impedance
// matrix (a thru, where I - S is singular, stays a thru). Per port i:
//   traveling: Gamma_i = G_i = (n - Z_i)/(n + Z_i), L_i = R_i = (Z_i + n)/(2 sqrt(Z_i) sqrt(n));
//   pseudo:    the same Gamma_i and G_i, L_i = R_i = sqrt(n/Re Z_i) (|Z_i|/n)(Z_i + n)/(2 Z_i);
//   power:     Gamma_i = (n - Z_i)/(n + conj Z_i), G_i = conj Gamma_i,
//              R_i = (n + conj Z_i)/(2 sqrt(n Re Z_i)), L_i = conj R_i.
// Held as the factors the four elements need, computed once per set of references.
struct PortRenormalisation {
    WideComplex gamma[2];
    WideComplex shift[2];      // G
    WideComplex scale[2][2];   // L_i / R_j, the off-diagonal ones times (1 - G_i Gamma_i)
    WideComplex gamma_product;
    bool unit_diagonal = false;  // L_i / R_i = 1, as for traveling and pseudo-waves
};

PortRenormalisation port_renormalisation(const PortImpedances& z, WaveDefinition waves, double n);

// In Extended throughout; each result component is rounded to double once, when stored.
void renormalise_ports(const TwoPort& s, const PortRenormalisation& c, TwoPort& result);

}  // namespace tavrin
