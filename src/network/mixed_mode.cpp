#include "network/mixed_mode.hpp"

#include <limits>
#include <utility>

namespace tavrin {

namespace {

constexpr std::size_t no_mode = std::numeric_limits<std::size_t>::max();

bool is_pair(const Mode& mode) {
    return mode.kind != ModeKind::single_ended;
}

// Row `row` of the basis applied to the elements at at(0), at(1), ...: the one it names, or the
// sum or difference of its two, unscaled.
template <class At>
WideComplex combine(const ModeBasis::Row& row, At at) {
    if (!row.pair) return at(row.first);
    return row.minus ? at(row.first) - at(row.second) : at(row.first) + at(row.second);
}

}  // namespace

ModeOrderCheck check_mode_order(const ModeOrder& order, std::size_t ports) {
    // The entry that names each port, per kind of mode.
    std::vector<std::size_t> differential(ports, no_mode), common(ports, no_mode),
        single(ports, no_mode);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Mode& mode = order[i];
        if (mode.positive >= ports) return {ModeOrderFault::port_out_of_range, i, mode.positive};
        if (is_pair(mode) && mode.negative >= ports) {
            return {ModeOrderFault::port_out_of_range, i, mode.negative};
        }
        if (is_pair(mode) && mode.positive == mode.negative) {
            return {ModeOrderFault::pair_of_one_port, i, mode.positive};
        }
        std::vector<std::size_t>& named = mode.kind == ModeKind::differential ? differential
                                          : mode.kind == ModeKind::common     ? common
                                                                              : single;
        // A port has one differential and one common mode, or is single-ended once and alone.
        const auto take = [&](std::size_t port) {
            const bool free =
                named[port] == no_mode && single[port] == no_mode &&
                (is_pair(mode) || (differential[port] == no_mode && common[port] == no_mode));
            if (free) named[port] = i;
            return free;
        };
        if (!take(mode.positive)) return {ModeOrderFault::port_twice, i, mode.positive};
        if (is_pair(mode) && !take(mode.negative)) {
            return {ModeOrderFault::port_twice, i, mode.negative};
        }
    }
    for (std::size_t port = 0; port < ports; ++port) {
        if (differential[port] == no_mode && common[port] == no_mode && single[port] == no_mode) {
            return {ModeOrderFault::port_left_out, 0, port};
        }
    }
    // Each pair's two modes name the same two ports (in either order: the common mode is the
    // same for N, P as for P, N).
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Mode& mode = order[i];
        if (!is_pair(mode)) continue;
        const std::vector<std::size_t>& other =
            mode.kind == ModeKind::differential ? common : differential;
        if (other[mode.positive] == no_mode || other[mode.positive] != other[mode.negative]) {
            return {ModeOrderFault::no_partner, i, mode.positive};
        }
    }
    return {};
}

ModeOrder order_of_pairs(const ModeOrder& pairs, std::size_t ports) {
    ModeOrder order;
    std::vector<bool> paired(ports, false);
    for (const ModeKind kind : {ModeKind::differential, ModeKind::common}) {
        for (const Mode& pair : pairs) {
            if (pair.kind != ModeKind::differential) continue;
            order.push_back({kind, pair.positive, pair.negative});
            if (pair.positive < ports) paired[pair.positive] = true;
            if (pair.negative < ports) paired[pair.negative] = true;
        }
    }
    for (std::size_t port = 0; port < ports; ++port) {
        if (!paired[port]) order.push_back({ModeKind::single_ended, port, 0});
    }
    return order;
}

std::optional<std::size_t> pair_with_unequal_references(const ModeOrder& order,
                                                        std::span<const double> port_references) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Mode& mode = order[i];
        if (is_pair(mode) && port_references[mode.positive] != port_references[mode.negative]) {
            return i;
        }
    }
    return std::nullopt;
}

std::vector<double> mode_references(const ModeOrder& order,
                                    std::span<const double> port_references) {
    std::vector<double> references;
    references.reserve(order.size());
    for (const Mode& mode : order) {
        const double r = port_references[mode.positive];
        // Exact in double: a factor of two either way.
        references.push_back(mode.kind == ModeKind::differential ? 2.0 * r
                             : mode.kind == ModeKind::common     ? 0.5 * r
                                                                 : r);
    }
    return references;
}

ModeBasis basis_to_modes(const ModeOrder& order) {
    ModeBasis basis;
    for (const Mode& mode : order) {
        basis.rows.push_back(
            {mode.positive, mode.negative, is_pair(mode), mode.kind == ModeKind::differential});
    }
    return basis;
}

ModeBasis basis_to_ports(const ModeOrder& order) {
    // a_P = (a_d + a_c)/sqrt 2 and a_N = (a_c - a_d)/sqrt 2 for each pair's d and c.
    ModeBasis basis;
    basis.rows.resize(order.size());
    std::vector<std::size_t> common_of(order.size(), no_mode);
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Mode& mode = order[i];
        if (mode.kind == ModeKind::common) common_of[mode.positive] = common_of[mode.negative] = i;
        if (mode.kind == ModeKind::single_ended) basis.rows[mode.positive] = {i, 0, false, false};
    }
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Mode& mode = order[i];
        if (mode.kind != ModeKind::differential) continue;
        const std::size_t c = common_of[mode.positive];
        basis.rows[mode.positive] = {i, c, true, false};
        basis.rows[mode.negative] = {c, i, true, true};
    }
    return basis;
}

// Each element is formed as the sum of its (at most four) terms first and scaled once, by
// (1/sqrt 2)^2 = 1/2 where both of its modes are of pairs, which is exact, so such an element
// carries only the roundings of its sums; by 1/sqrt 2 in Extended where one is; and where
// neither is, it is the element itself, copied.
void change_basis(const ModeBasis& basis, const WideComplex* in, WideComplex* out,
                  std::vector<WideComplex>& scratch) {
    const std::size_t n = basis.rows.size();
    if (scratch.size() < n * n) scratch.resize(n * n);
    WideComplex* const columns = scratch.data();  // in with its columns combined: in B^T
    for (std::size_t k = 0; k < n; ++k) {
        const WideComplex* const row = in + k * n;
        for (std::size_t j = 0; j < n; ++j) {
            columns[k * n + j] = combine(basis.rows[j], [row](std::size_t l) { return row[l]; });
        }
    }
    const Extended half = Extended(0.5);
    const Extended half_root = square_root(half);  // correctly rounded on every platform
    for (std::size_t i = 0; i < n; ++i) {
        const ModeBasis::Row& row = basis.rows[i];
        for (std::size_t j = 0; j < n; ++j) {
            const WideComplex sum =
                combine(row, [columns, n, j](std::size_t k) { return columns[k * n + j]; });
            const int pairs = (row.pair ? 1 : 0) + (basis.rows[j].pair ? 1 : 0);
            out[i * n + j] = pairs == 2 ? half * sum : pairs == 1 ? half_root * sum : sum;
        }
    }
}

bool renormalise_with_modes(const Complex* s, const ModeChange& m, const NPortRenormalisation& c,
                            ModeWorkspace& w, Complex* result) {
    if (!m.from_modes && !m.to_modes) return renormalise_nport(s, c, w.solve, result);
    const std::size_t elements = c.ports * c.ports;
    if (w.before.size() < elements) w.before.resize(elements);
    if (w.after.size() < elements) w.after.resize(elements);
    WideComplex* here = w.before.data();
    WideComplex* there = w.after.data();
    for (std::size_t e = 0; e < elements; ++e) here[e] = widen(s[e]);
    if (m.from_modes) {
        change_basis(*m.from_modes, here, there, w.scratch);
        std::swap(here, there);
    }
    if (!renormalise_nport_wide(here, c, w.solve, there)) return false;
    std::swap(here, there);
    if (m.to_modes) {
        change_basis(*m.to_modes, here, there, w.scratch);
        std::swap(here, there);
    }
    return narrow_renormalised(here, s, elements, result);
}

void change_modes(const Complex* s, std::size_t ports, const ModeChange& m, ModeWorkspace& w,
                  Complex* result) {
    const std::size_t elements = ports * ports;
    if (w.before.size() < elements) w.before.resize(elements);
    if (w.after.size() < elements) w.after.resize(elements);
    WideComplex* here = w.before.data();
    WideComplex* there = w.after.data();
    for (std::size_t e = 0; e < elements; ++e) here[e] = widen(s[e]);
    for (const std::optional<ModeBasis>* basis : {&m.from_modes, &m.to_modes}) {
        if (!*basis) continue;
        change_basis(**basis, here, there, w.scratch);
        std::swap(here, there);
    }
    for (std::size_t e = 0; e < elements; ++e) result[e] = narrow(here[e]);
}

}  // namespace tavrin
