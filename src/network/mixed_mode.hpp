// Mixed-mode S-parameters: the differential and common modes of pairs of ports, and the change
// of basis between them and the single-ended ports.
//
// For a pair P, N (P the positive line): a_d = (a_P - a_N)/sqrt 2, a_c = (a_P + a_N)/sqrt 2, and
// the same for b, so that S_mm = M S M^T with M orthogonal, and S = M^T S_mm M. With both lines
// at one real reference R this is the pair's S for a differential reference of 2 R and a
// common one of R / 2; ports outside any pair stay single-ended at their own reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "network/nport_renormalise.hpp"
#include "network/wide_complex.hpp"

namespace tavrin {

enum class ModeKind : std::uint8_t { differential, common, single_ended };

// One mode: of the pair positive, negative, or the single-ended port positive. Ports count
// from 0.
struct Mode {
    ModeKind kind = ModeKind::single_ended;
    std::size_t positive = 0;
    std::size_t negative = 0;  // pairs only

    bool operator==(const Mode&) const = default;
};

// The modes in the order of a mixed-mode matrix's rows and columns.
using ModeOrder = std::vector<Mode>;

// What keeps an order from naming every port once per mode, the first one found.
enum class ModeOrderFault {
    none,
    port_out_of_range,  // a port the network does not have
    pair_of_one_port,   // P and N the same
    port_twice,         // in two pairs, twice single-ended, or single-ended and paired
    port_left_out,      // in no mode at all
    no_partner,         // a differential mode without the common mode of the same pair, or
                        // a common mode without its differential mode
};

struct ModeOrderCheck {
    ModeOrderFault fault = ModeOrderFault::none;
    std::size_t mode = 0;  // the entry concerned (port_out_of_range, pair_of_one_port,
                           // port_twice, no_partner)
    std::size_t port = 0;  // the port concerned (port_out_of_range, port_twice, port_left_out)
};

ModeOrderCheck check_mode_order(const ModeOrder& order, std::size_t ports);

// The differential modes of the pairs in the order given, then their common modes in the same
// order, then every port outside them as single-ended, in rising order. pairs holds one
// differential mode per pair (other entries are ignored).
ModeOrder order_of_pairs(const ModeOrder& pairs, std::size_t ports);

// The first mode of a pair whose two lines have different references in port_references (one
// per port); nothing when every pair's are equal.
std::optional<std::size_t> pair_with_unequal_references(const ModeOrder& order,
                                                        std::span<const double> port_references);

// Each mode's reference from its ports' (a valid order, equal on every pair): twice the pair's
// for the differential mode, half of it for the common mode, the port's own for a single-ended
// one.
std::vector<double> mode_references(const ModeOrder& order,
                                    std::span<const double> port_references);

// A change of basis with at most two non-zero entries, +-1/sqrt 2, or one entry 1, per row:
// element i of the result is row i's combination of the elements it names.
struct ModeBasis {
    struct Row {
        std::size_t first = 0;
        std::size_t second = 0;  // pairs only
        bool pair = false;       // (first +- second) / sqrt 2, else first alone
        bool minus = false;      // first - second
    };
    std::vector<Row> rows;
};

// From single-ended ports to the modes of a valid order (M), and back (M^T).
ModeBasis basis_to_modes(const ModeOrder& order);
ModeBasis basis_to_ports(const ModeOrder& order);

// out = B in B^T for square matrices of basis.rows.size() elements a side, row by row; in and
// out may not overlap; scratch is reused storage. O(N^2): at most four terms per element.
void change_basis(const ModeBasis& basis, const WideComplex* in, WideComplex* out,
                  std::vector<WideComplex>& scratch);

// What every record's matrix goes through: from the input's modes to its single-ended ports,
// the renormalisation of those, then to the output's modes; either change may be absent.
struct ModeChange {
    std::optional<ModeBasis> from_modes;
    std::optional<ModeBasis> to_modes;
};

struct ModeWorkspace {
    NPortWorkspace solve;
    std::vector<WideComplex> before, after, scratch;
};

// S' for S (Complex pairs, row by row, c.ports a side), through m and c in Extended, each
// component rounded to double once, into result. Without either change, exactly
// renormalise_nport. False as renormalise_nport is false: I - Gamma S singular.
bool renormalise_with_modes(const Complex* s, const ModeChange& m, const NPortRenormalisation& c,
                            ModeWorkspace& w, Complex* result);

// S (Complex pairs, row by row, ports a side) in the modes that m leads to, without any
// renormalisation: from the input's modes to its ports, then to the output's modes, each
// component rounded to double once. What the data as read is beside the data as written.
void change_modes(const Complex* s, std::size_t ports, const ModeChange& m, ModeWorkspace& w,
                  Complex* result);

}  // namespace tavrin
