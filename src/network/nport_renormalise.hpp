// Renormalisation of an N-port's S-parameters from the references its data is given for (real
// or complex, one per port) to new real references, one per port.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "network/complex.hpp"
#include "network/port_renormalise.hpp"
#include "network/wide_complex.hpp"

namespace tavrin {

// Whether waves of that definition exist at every port for the old references z and the new
// real references n (one each per port): the two-port rule, port by port.
bool nport_references_usable(std::span<const Complex> z, WaveDefinition waves,
                             std::span<const double> n);

// The diagonal factors of S' = L (S - G)(I - Gamma S)^-1 R^-1 for one set of references, per
// port as for two ports (see port_renormalisation), with port i's own new reference n_i.
struct NPortRenormalisation {
    std::size_t ports = 0;
    std::vector<WideComplex> gamma;      // Gamma_i
    std::vector<WideComplex> shift;      // G_i
    std::vector<WideComplex> left;       // L_i
    std::vector<WideComplex> right_inv;  // 1 / R_i
};

// Fills c for z (old) and n (new), both of c.ports = z.size() == n.size() values; reuses c's
// storage, so that preparing it per record allocates nothing after the first.
void prepare_nport_renormalisation(std::span<const Complex> z, WaveDefinition waves,
                                   std::span<const double> n, NPortRenormalisation& c);

// Storage the solve reuses from record to record.
struct NPortWorkspace {
    std::vector<WideComplex> matrix;
    std::vector<WideComplex> rhs;
    std::vector<WideComplex> result;  // renormalise_nport's, before its rounding
};

// The solve itself, for a change of basis before or after it: s and result in Extended, not
// rounded at all; they may not overlap. False only for a zero pivot.
bool renormalise_nport_wide(const WideComplex* s, const NPortRenormalisation& c,
                            NPortWorkspace& w, WideComplex* result);

// Rounds each component of wide to double once, into result (elements of each), and whether
// that result can stand: finite, or not finite only where s itself (the data's own infinity or
// NaN) is not; otherwise an overflow of I - Gamma S's inverse, which counts as singular.
bool narrow_renormalised(const WideComplex* wide, const Complex* s, std::size_t elements,
                         Complex* result);

// s and result hold c.ports x c.ports elements row by row (S_ij at [i * ports + j]) as
// real/imaginary pairs; they may not overlap. Computed in Extended, (I - Gamma S) solved by
// Gaussian elimination with partial pivoting (no impedance matrix, so a thru or a lossless
// network is fine), each result component rounded to double once. False when I - Gamma S is
// singular: a zero pivot, or a result that is not finite where every element of s is.
bool renormalise_nport(const Complex* s, const NPortRenormalisation& c, NPortWorkspace& w,
                       Complex* result);

}  // namespace tavrin
