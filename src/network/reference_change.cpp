#include "network/reference_change.hpp"

namespace tavrin {

ReferenceChange ReferenceChange::one_reference(double z_old, double z_new) {
    ReferenceChange change;
    change.path_ = Path::one_reference;
    change.gamma_ = renormalisation_gamma(z_old, z_new);
    change.z_new_ = z_new;
    return change;
}

ReferenceChange ReferenceChange::per_port(double z_port1, double z_port2, double z_new) {
    ReferenceChange change;
    change.path_ = Path::per_port;
    // Every wave definition gives the same waves for real references.
    change.ports_ = port_renormalisation({{z_port1, 0.0}, {z_port2, 0.0}},
                                         WaveDefinition::traveling, z_new);
    change.z_new_ = z_new;
    return change;
}

ReferenceChange ReferenceChange::per_record(WaveDefinition waves, double z_new) {
    ReferenceChange change;
    change.path_ = Path::per_record;
    change.waves_ = waves;
    change.z_new_ = z_new;
    return change;
}

ReferenceChange ReferenceChange::to_each_port(const double* z_old, WaveDefinition waves,
                                              double z_new_port1, double z_new_port2) {
    ReferenceChange change;
    change.path_ = Path::to_each_port;
    change.waves_ = waves;
    change.z_new_ = z_new_port1;
    change.new_[0] = z_new_port1;
    change.new_[1] = z_new_port2;
    change.fixed_ = z_old != nullptr;
    if (change.fixed_) {
        const Complex z[2] = {{z_old[0], 0.0}, {z_old[1], 0.0}};
        prepare_nport_renormalisation(z, waves, change.new_, change.each_port_);
    }
    return change;
}

namespace {

// The two-port as an N-port's matrix, row by row, and back.
bool renormalise_two_port(const TwoPort& s, const NPortRenormalisation& c, TwoPort& result) {
    // Per thread: records are converted on several at once.
    thread_local NPortWorkspace workspace;
    const Complex matrix[4] = {s.s11, s.s12, s.s21, s.s22};
    Complex renormalised[4];
    if (!renormalise_nport(matrix, c, workspace, renormalised)) return false;
    result = {renormalised[0], renormalised[2], renormalised[1], renormalised[3]};
    return true;
}

}  // namespace

bool ReferenceChange::apply(const TwoPort& s, const PortImpedances& record_impedances,
                            TwoPort& result) const {
    switch (path_) {
        case Path::one_reference:
            renormalise(s, gamma_, result);
            return true;
        case Path::per_port:
            renormalise_ports(s, ports_, result);
            return true;
        case Path::per_record:
            renormalise_ports(s, port_renormalisation(record_impedances, waves_, z_new_), result);
            return true;
        case Path::to_each_port:
            break;
    }
    if (fixed_) return renormalise_two_port(s, each_port_, result);
    thread_local NPortRenormalisation record_change;
    const Complex z[2] = {record_impedances.port1, record_impedances.port2};
    prepare_nport_renormalisation(z, waves_, new_, record_change);
    return renormalise_two_port(s, record_change, result);
}

}  // namespace tavrin
