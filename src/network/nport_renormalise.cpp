#include "network/nport_renormalise.hpp"

#include <cmath>
#include <utility>

namespace tavrin {

namespace {

bool finite(const Complex& z) {
    return std::isfinite(z.re) && std::isfinite(z.im);
}

// The two-port rule for one port, with that port's own n, which must itself be a usable real
// reference.
bool port_usable(const Complex& z, WaveDefinition waves, double n) {
    return std::isfinite(n) && n > 0.0 && port_reference_usable(z, waves, n);
}

// The size of a pivot candidate: |re| + |im|, exact in Extended, no square root.
Extended pivot_size(const WideComplex& z) {
    return absolute(z.re) + absolute(z.im);
}

bool is_zero(const WideComplex& z) {
    return z.re == Extended(0.0) && z.im == Extended(0.0);
}

}  // namespace

bool nport_references_usable(std::span<const Complex> z, WaveDefinition waves,
                             std::span<const double> n) {
    if (z.empty() || z.size() != n.size()) return false;
    for (std::size_t i = 0; i < z.size(); ++i)
        if (!port_usable(z[i], waves, n[i])) return false;
    return true;
}

// Per port, from its waves (a, b for Z; a', b' for the real n, where every definition gives
// a' = (V + n I)/(2 sqrt n), b' = (V - n I)/(2 sqrt n)):
//   traveling: V = sqrt Z (a + b), I = (a - b)/sqrt Z, so
//              a' = k (a - Gamma b), b' = k (b - Gamma a), k = (Z + n)/(2 sqrt Z sqrt n);
//   pseudo:    V = (a + b)/c, I = (a - b)/(c Z), c = sqrt(Re Z)/|Z|, so the same with
//              k = (Z + n)/(2 c Z sqrt n) = sqrt(n/Re Z)(|Z|/n)(Z + n)/(2 Z);
//   power:     I = (a - b)/sqrt Re Z, V = (conj Z a + Z b)/sqrt Re Z, so
//              a' = P (a - Gamma b), Gamma = (n - Z)/(n + conj Z), P = (n + conj Z)/(2 sqrt(n Re
//              Z)), b' = conj P (b - conj Gamma a).
// With b = S a: a' = R (I - Gamma S) a and b' = L (S - G) a, hence S' = L (S - G)(I - Gamma S)^-1
// R^-1 with L = R = k, G = Gamma (traveling, pseudo) or R = P, L = conj P, G = conj Gamma (power).
void prepare_nport_renormalisation(std::span<const Complex> z, WaveDefinition waves,
                                   std::span<const double> n, NPortRenormalisation& c) {
    const std::size_t ports = z.size();
    c.ports = ports;
    c.gamma.resize(ports);
    c.shift.resize(ports);
    c.left.resize(ports);
    c.right_inv.resize(ports);
    const bool power = waves == WaveDefinition::power;
    for (std::size_t i = 0; i < ports; ++i) {
        const Extended new_z = n[i];
        const WideComplex zi = widen(z[i]);
        // Z + n, or n + conj Z for power waves: the denominator of Gamma_i.
        const WideComplex sum =
            power ? WideComplex{new_z + zi.re, -zi.im} : WideComplex{new_z + zi.re, zi.im};
        const WideComplex over_sum = reciprocal(sum);
        c.gamma[i] = port_reflection(zi, new_z, sum, over_sum);
        c.shift[i] = power ? conj(c.gamma[i]) : c.gamma[i];
        switch (waves) {
            case WaveDefinition::traveling: {
                // k = sum / root, root = 2 sqrt(n) sqrt(Z); 1/k = root / sum.
                const WideComplex root = (Extended(2.0) * square_root(new_z)) * principal_sqrt(zi);
                c.left[i] = sum / root;
                c.right_inv[i] = root * over_sum;
                break;
            }
            case WaveDefinition::pseudo: {
                // k = m (sum / Z) with the real m = |Z| / (2 sqrt(n Re Z)); 1/k = (1/m)(Z / sum).
                const Extended m = modulus(zi) / (Extended(2.0) * square_root(new_z * zi.re));
                c.left[i] = m * (sum / zi);
                c.right_inv[i] = (Extended(1.0) / m) * (zi * over_sum);
                break;
            }
            case WaveDefinition::power: {
                // R = sum / d, d = 2 sqrt(n Re Z); L = conj R, 1/R = d / sum.
                const Extended d = Extended(2.0) * square_root(new_z * zi.re);
                c.left[i] = (Extended(1.0) / d) * conj(sum);
                c.right_inv[i] = d * over_sum;
                break;
            }
        }
    }
}

// With A = M^T = (I - Gamma S)^T and C = B^T = (S - G)^T, X M = B is A Y = C for Y = X^T. A is
// factored once as P A = L U (partial pivoting), C carried along as L^-1 P C, then Y found by
// back substitution: Gaussian elimination for all N right-hand sides at once. It is written in
// the dot-product (left-looking) order, which forms each element from the same products,
// subtracted in the same order (m = 0, 1, ...), as eliminating row by row would: the same
// values, but each sum is held in registers instead of being stored and reloaded at every step.
// Every value stays in the extended type; the only rounding to double is narrow_renormalised's,
// after the solve (and after a change of basis, for mixed-mode data).
namespace {

// x - sum over m in [0, count) of f[m] * v[m * stride], subtracted in order of m; terms whose
// factor is exactly zero are left out, so that decoupled ports are not touched at all.
inline WideComplex minus_products(WideComplex x, const WideComplex* f, const WideComplex* v,
                                  std::size_t count, std::size_t stride) {
    for (std::size_t m = 0; m < count; ++m, v += stride) {
        if (is_zero(f[m])) continue;
        x = x - f[m] * *v;
    }
    return x;
}

inline WideComplex as_wide(const Complex& z) { return widen(z); }
inline const WideComplex& as_wide(const WideComplex& z) { return z; }

// The solve for S given as doubles (widened exactly, element by element) or already in
// Extended; result in Extended.
template <class Element>
bool solve(const Element* s, const NPortRenormalisation& c, NPortWorkspace& w,
           WideComplex* result) {
    const std::size_t ports = c.ports;
    if (ports == 0) return true;
    const std::size_t elements = ports * ports;
    if (w.matrix.size() < elements) w.matrix.resize(elements);
    if (w.rhs.size() < elements) w.rhs.resize(elements);
    WideComplex* const a = w.matrix.data();
    WideComplex* const y = w.rhs.data();
    const WideComplex one{Extended(1.0), Extended(0.0)};

    // Row i of S gives column i of A and of C: A_ji = delta_ij - Gamma_i S_ij, C_ji = S_ij -
    // delta_ij G_i.
    bool lower_triangular = true;  // A_ji = 0 for every i > j
    for (std::size_t i = 0; i < ports; ++i) {
        const WideComplex gamma = c.gamma[i];
        const Element* const row = s + i * ports;
        for (std::size_t j = 0; j < ports; ++j) {
            const WideComplex sij = as_wide(row[j]);
            if (j == i) {
                a[j * ports + i] = one - gamma * sij;
                y[j * ports + i] = sij - c.shift[i];
            } else {
                a[j * ports + i] = WideComplex{} - gamma * sij;
                y[j * ports + i] = sij;
                if (j < i && !is_zero(a[j * ports + i])) lower_triangular = false;
            }
        }
    }

    // Step k: rows before k are finished (U to the right of the diagonal, the pivot's
    // reciprocal on it, L's factors to its left; C's row reduced). Column k is brought up to
    // date in the rows from k on, the pivot is the first of largest |re| + |im| among them, and
    // then row k of U and of C is brought up to date.
    for (std::size_t k = 0; k < ports; ++k) {
        std::size_t pivot_row = k;
        Extended largest = Extended(0.0);
        Extended diagonal = Extended(0.0);
        for (std::size_t r = k; r < ports; ++r) {
            WideComplex& ark = a[r * ports + k];
            ark = minus_products(ark, a + r * ports, a + k, k, ports);
            const Extended size = pivot_size(ark);
            if (r == k) diagonal = size;
            if (r == k || size > largest) {
                largest = size;
                pivot_row = r;
            }
        }
        if (largest == Extended(0.0)) return false;  // I - Gamma S is singular
        // A triangular A needs no swap whatever its sizes: elimination is then the triangular
        // solve itself, and a one-way network (an isolator, an amplifier with S12 = 0) keeps
        // its exact zeros in either direction.
        if (lower_triangular) {
            if (diagonal == Extended(0.0)) return false;
            pivot_row = k;
        }
        WideComplex* const pivot = a + k * ports;
        WideComplex* const pivot_y = y + k * ports;
        if (pivot_row != k) {
            WideComplex* const other = a + pivot_row * ports;
            WideComplex* const other_y = y + pivot_row * ports;
            for (std::size_t col = 0; col < ports; ++col) std::swap(pivot[col], other[col]);
            for (std::size_t col = 0; col < ports; ++col) std::swap(pivot_y[col], other_y[col]);
        }
        const WideComplex over_pivot = reciprocal(pivot[k]);
        pivot[k] = over_pivot;
        for (std::size_t r = k + 1; r < ports; ++r) {
            WideComplex& ark = a[r * ports + k];
            if (!is_zero(ark)) ark = ark * over_pivot;  // L's factor
        }
        for (std::size_t col = k + 1; col < ports; ++col)
            pivot[col] = minus_products(pivot[col], pivot, a + col, k, ports);
        for (std::size_t col = 0; col < ports; ++col)
            pivot_y[col] = minus_products(pivot_y[col], pivot, y + col, k, ports);
    }

    // Back substitution, last row first: Y_k = (C_k - sum over m > k of U_km Y_m) / U_kk.
    for (std::size_t k = ports; k-- > 0;) {
        const WideComplex* const row = a + k * ports;
        WideComplex* const row_y = y + k * ports;
        const WideComplex over_pivot = row[k];
        const std::size_t after = k + 1;
        for (std::size_t col = 0; col < ports; ++col)
            row_y[col] = minus_products(row_y[col], row + after, y + after * ports + col,
                                        ports - after, ports) *
                         over_pivot;
    }

    // S'_ij = (L_i X_ij) / R_j with X_ij = Y_ji.
    for (std::size_t i = 0; i < ports; ++i) {
        const WideComplex left = c.left[i];
        WideComplex* const out = result + i * ports;
        for (std::size_t j = 0; j < ports; ++j) out[j] = (left * y[j * ports + i]) * c.right_inv[j];
    }
    return true;
}

}  // namespace

bool renormalise_nport_wide(const WideComplex* s, const NPortRenormalisation& c,
                            NPortWorkspace& w, WideComplex* result) {
    return solve(s, c, w, result);
}

bool narrow_renormalised(const WideComplex* wide, const Complex* s, std::size_t elements,
                         Complex* result) {
    bool all_finite = true;
    for (std::size_t e = 0; e < elements; ++e) {
        result[e] = narrow(wide[e]);  // each component rounded to double here, once
        all_finite = all_finite && finite(result[e]);
    }
    if (all_finite) return true;
    for (std::size_t e = 0; e < elements; ++e)
        if (!finite(s[e])) return true;
    return false;
}

bool renormalise_nport(const Complex* s, const NPortRenormalisation& c, NPortWorkspace& w,
                       Complex* result) {
    const std::size_t elements = c.ports * c.ports;
    if (w.result.size() < elements) w.result.resize(elements);
    if (!solve(s, c, w, w.result.data())) return false;
    return narrow_renormalised(w.result.data(), s, elements, result);
}

}  // namespace tavrin
