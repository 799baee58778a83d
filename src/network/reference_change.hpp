// How each two-port of a file is brought to the new reference impedance: chosen once per file
// from what the file states, so that converting a record never asks where its reference came
// from.
#pragma once

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

    // Whether a record's own references can be used; always so where the file's are fixed.
    bool accepts(const PortImpedances& record_impedances) const {
        return path_ != Path::per_record || references_usable(record_impedances, waves_, z_new_);
    }

    // S-parameters for the new reference; record_impedances count only per record.
    void apply(const TwoPort& s, const PortImpedances& record_impedances, TwoPort& result) const;

private:
    enum class Path { one_reference, per_port, per_record };

    Path path_ = Path::one_reference;
    Complex gamma_;
    PortRenormalisation ports_;
    WaveDefinition waves_ = WaveDefinition::traveling;
    double z_new_ = 0.0;
};

}  // namespace tavrin
