// How each two-port of a file is brought to the new reference impedance: chosen once per file
// from what the file states, so that converting a record never asks where its reference came
// from.
#pragma once

#include "network/nport_renormalise.hpp"
#include "network/port_renormalise.hpp"
#include "network/renormalise.hpp"

namespace tavrin {

class ReferenceChange {
public:
    // One real reference at both ports: the fixed sequence of double-rounded operations that
    // has always defined these files' bytes.
    static ReferenceChange one_reference(double z_old, double z_new);
    // A real reference per port, the same at every frequency.
    static ReferenceChange per_port(double z_port1, double z_port2, double z_new);
    // References given with each record (a field solver's port impedances), for these waves.
    static ReferenceChange per_record(WaveDefinition waves, double z_new);
    // To a new reference per port, from real references per port (z_old) or, where z_old is
    // empty, from each record's own; by the solve that serves any port count.
    static ReferenceChange to_each_port(const double* z_old, WaveDefinition waves,
                                        double z_new_port1, double z_new_port2);

    // Whether a record's own references can be used; always so where the file's are fixed.
    bool accepts(const PortImpedances& record_impedances) const {
        if (path_ == Path::to_each_port && !fixed_) {
            const Complex z[2] = {record_impedances.port1, record_impedances.port2};
            return nport_references_usable(z, waves_, new_);
        }
        return path_ != Path::per_record || references_usable(record_impedances, waves_, z_new_);
    }

    // S-parameters for the new reference; record_impedances count only per record. False only
    // where the network cannot be renormalised to a reference per port (I - Gamma S singular).
    bool apply(const TwoPort& s, const PortImpedances& record_impedances, TwoPort& result) const;

private:
    enum class Path { one_reference, per_port, per_record, to_each_port };

    Path path_ = Path::one_reference;
    Complex gamma_;
    PortRenormalisation ports_;
    WaveDefinition waves_ = WaveDefinition::traveling;
    double z_new_ = 0.0;
    // To a reference per port: the new ones, and the factors where the old ones are fixed.
    double new_[2] = {0.0, 0.0};
    bool fixed_ = false;
    NPortRenormalisation each_port_;
};

}  // namespace tavrin
