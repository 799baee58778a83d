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

void ReferenceChange::apply(const TwoPort& s, const PortImpedances& record_impedances,
                            TwoPort& result) const {
    switch (path_) {
        case Path::one_reference:
            renormalise(s, gamma_, result);
            return;
        case Path::per_port:
            renormalise_ports(s, ports_, result);
            return;
        case Path::per_record:
            renormalise_ports(s, port_renormalisation(record_impedances, waves_, z_new_), result);
            return;
    }
}

}  // namespace tavrin
