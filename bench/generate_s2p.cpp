// Writes large two-port Touchstone files for the benchmarks: a header with comments, the option
// line, one data line per frequency and a noise section after the S-parameters, as a network
// analyser or a circuit simulator writes them.
//
//   generate_s2p FORMAT RECORDS BASE [--pair] [--crlf] [--seed N] [--references KIND]
//                [--files N]
//
// FORMAT is ri, ma or db. Writes BASE.s2p, or with --pair the forward and reverse files of a
// two-step measurement, BASE_fwd.s2p and BASE_rev.s2p (the device turned round). Numbers carry
// 9 to 12 significant digits; the same arguments always give the same bytes. KIND (single
// file only) is one (R 50, the default), per-port (R 50 75) or port-impedances (a field
// solver's export: no R, a Gamma and a Port Impedance comment after every line, complex
// references that change with frequency). --files N writes a folder's worth instead, the
// single files BASE_1.s2p to BASE_N.s2p, each with a seed of its own.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct Random {
    std::uint64_t state;
    // splitmix64: small, fast and identical everywhere.
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    int between(int low, int high) { return low + static_cast<int>(next() % (high - low + 1)); }
};

enum class Format { ri, ma, db };

class Writer {
public:
    explicit Writer(const std::string& path) : file_(std::fopen(path.c_str(), "wb")) {
        if (file_ == nullptr) {
            std::perror(path.c_str());
            std::exit(2);
        }
    }
    ~Writer() {
        flush();
        if (std::fclose(file_) != 0) std::exit(2);
    }
    void put(std::string_view text) {
        if (used_ + text.size() > sizeof buffer_) flush();
        std::memcpy(buffer_ + used_, text.data(), text.size());
        used_ += text.size();
    }
    void put(char c) { put(std::string_view(&c, 1)); }
    // Exactly `digits` significant digits, trailing zeros kept, as instruments write them:
    // fixed notation for moderate magnitudes, an exponent for very small or large ones.
    void number(double value, int digits) {
        char text[48];
        const double magnitude = std::fabs(value);
        std::to_chars_result end;
        if (magnitude >= 1e-4 && magnitude < 1e4) {
            const int before_point = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
            const int decimals = digits - before_point;
            end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed,
                                decimals > 0 ? decimals : 0);
        } else {
            end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific,
                                digits - 1);
        }
        put(std::string_view(text, static_cast<std::size_t>(end.ptr - text)));
    }

private:
    void flush() {
        if (used_ > 0 && std::fwrite(buffer_, 1, used_, file_) != used_) std::exit(2);
        used_ = 0;
    }
    std::FILE* file_;
    char buffer_[1 << 16];
    std::size_t used_ = 0;
};

struct Pair {
    double re;
    double im;
};

// A matched amplifier behind a length of line: smooth in frequency, with measurement noise.
struct Device {
    Pair s11, s21, s12, s22;
};

Device device_at(double ghz, Random& random) {
    const double pi = 3.14159265358979323846;
    const auto polar = [](double magnitude, double degrees) {
        const double radians = degrees * 3.14159265358979323846 / 180.0;
        return Pair{magnitude * std::cos(radians), magnitude * std::sin(radians)};
    };
    const auto noise = [&random](double scale) { return (random.uniform() - 0.5) * scale; };
    const double delay = -360.0 * ghz * 0.35;  // degrees of a 0.35 ns line
    Device d;
    d.s11 = polar(0.12 + 0.08 * std::sin(ghz * pi / 7.0) + noise(0.004), delay * 0.2 + 35.0);
    d.s21 = polar(3.2 * std::exp(-ghz / 40.0) + noise(0.02), delay + 12.0);
    d.s12 = polar(0.015 * (1.0 + ghz / 20.0) + noise(0.0005), delay - 7.0 + noise(2.0));
    d.s22 = polar(0.25 - 0.004 * ghz + noise(0.004), delay * 0.3 - 80.0);
    // Deep matches now and then, so some numbers are small and written with an exponent.
    if (random.next() % 512 == 0) d.s11.re *= 1e-5;
    return d;
}

Pair in_format(Pair p, Format format) {
    if (format == Format::ri) return p;
    const double magnitude = std::hypot(p.re, p.im);
    const double degrees = std::atan2(p.im, p.re) * 180.0 / 3.14159265358979323846;
    return {format == Format::db ? 20.0 * std::log10(magnitude) : magnitude, degrees};
}

enum class References { one, per_port, port_impedances };

// The noise section's lines, which tavrin writes after the S-parameters.
constexpr int noise_lines = 20;

void header(Writer& out, Format format, const char* role, std::string_view eol,
            References references = References::one) {
    out.put("! Two-port S-parameters, ");
    out.put(role);
    out.put(eol);
    out.put("! Generated for throughput measurements; smooth device response plus noise");
    out.put(eol);
    out.put("! Calibration: SOLT, IF bandwidth 1 kHz, averaging 4");
    out.put(eol);
    out.put("!");
    out.put(eol);
    if (references == References::port_impedances) {
        out.put("! Data is not renormalized");
        out.put(eol);
    }
    out.put(format == Format::ri ? "# GHz S RI" : format == Format::ma ? "# GHz S MA" : "# GHz S DB");
    if (references == References::one) out.put(" R 50");
    if (references == References::per_port) out.put(" R 50 75");
    out.put(eol);
    out.put("! freq S11 S21 S12 S22");
    out.put(eol);
}

// Frequencies in hertz, written in GHz with up to nine decimals so that every line's
// frequency is an exact decimal and the sweep strictly rises.
void frequency(Writer& out, std::uint64_t hz) {
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%llu.%09llu",
                                static_cast<unsigned long long>(hz / 1000000000u),
                                static_cast<unsigned long long>(hz % 1000000000u));
    std::string_view t(text, static_cast<std::size_t>(n));
    while (t.back() == '0') t.remove_suffix(1);
    if (t.back() == '.') t.remove_suffix(1);
    out.put(t);
}

void pairs(Writer& out, const Pair* list, int count, Format format, Random& random) {
    for (int i = 0; i < count; ++i) {
        const Pair p = in_format(list[i], format);
        out.put(' ');
        out.number(p.re, random.between(9, 12));
        out.put(' ');
        out.number(p.im, random.between(9, 12));
    }
}

// Noise parameters follow the S-parameters from a lower frequency: a reader stops there.
void noise_section(Writer& out, std::string_view eol) {
    out.put("! Noise parameters: freq NFmin |Gopt| <Gopt Rn/50");
    out.put(eol);
    for (int i = 1; i <= noise_lines; ++i) {
        frequency(out, static_cast<std::uint64_t>(i) * 500000000u);
        out.put(' ');
        out.number(0.8 + 0.05 * i, 10);
        out.put(' ');
        out.number(0.3 - 0.01 * i, 10);
        out.put(' ');
        out.number(20.0 + 4.0 * i, 10);
        out.put(' ');
        out.number(0.25, 10);
        out.put(eol);
    }
}

// What a field solver writes after each line: the ports' propagation constants and their
// impedances, a coplanar port near 50 ohms and a waveguide port falling from 500 ohms.
void port_impedance_comments(Writer& out, double ghz, std::string_view eol) {
    out.put("! Gamma ! 0 ");
    out.number(20.9 * ghz, 10);
    out.put(" 0 ");
    out.number(10.0 + 9.0 * ghz, 10);
    out.put(eol);
    out.put("! Port Impedance ");
    out.number(49.7 + 0.01 * ghz, 10);
    out.put(' ');
    out.number(-0.1 - 0.002 * ghz, 10);
    out.put(' ');
    out.number(377.0 + 120.0 / (1.0 + ghz), 10);
    out.put(" 0");
    out.put(eol);
}

// 10 MHz to about 40 GHz, at least 1 Hz apart.
struct Sweep {
    explicit Sweep(unsigned long long records)
        : step(records > 1 && span / (records - 1) > 0 ? span / (records - 1) : 1) {}
    std::uint64_t hz(unsigned long long i) const { return start + i * step; }

    static constexpr std::uint64_t start = 10000000u;
    static constexpr std::uint64_t span = 40000000000ull - start;
    std::uint64_t step;
};

void write_single(const std::string& path, Format format, unsigned long long records,
                  std::uint64_t seed, std::string_view eol, References references) {
    const Sweep sweep(records);
    Random random{seed};
    Writer forward(path);
    header(forward, format, "complete two-port", eol, references);
    for (unsigned long long i = 0; i < records; ++i) {
        const std::uint64_t hz = sweep.hz(i);
        const Device d = device_at(static_cast<double>(hz) * 1e-9, random);
        frequency(forward, hz);
        const Pair list[4] = {d.s11, d.s21, d.s12, d.s22};
        pairs(forward, list, 4, format, random);
        // Instruments mark a few points; the comment must be cut off.
        if (i % 1000 == 999) forward.put(" ! marker");
        forward.put(eol);
        if (references == References::port_impedances) {
            port_impedance_comments(forward, static_cast<double>(hz) * 1e-9, eol);
        }
        if (i % 100000 == 99999) {
            forward.put("! segment boundary");
            forward.put(eol);
        }
    }
    noise_section(forward, eol);
}

int usage() {
    std::fprintf(stderr, "usage: generate_s2p ri|ma|db RECORDS BASE [--pair] [--crlf] [--seed N]"
                         " [--references one|per-port|port-impedances] [--files N]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) return usage();
    const std::string_view name = argv[1];
    Format format;
    if (name == "ri") {
        format = Format::ri;
    } else if (name == "ma") {
        format = Format::ma;
    } else if (name == "db") {
        format = Format::db;
    } else {
        return usage();
    }
    const unsigned long long records = std::strtoull(argv[2], nullptr, 10);
    const std::string base = argv[3];
    bool pair = false;
    bool crlf = false;
    std::uint64_t seed = 1;
    References references = References::one;
    unsigned long long files = 0;
    for (int i = 4; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (a == "--pair") {
            pair = true;
        } else if (a == "--crlf") {
            crlf = true;
        } else if (a == "--files" && i + 1 < argc) {
            files = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--seed" && i + 1 < argc) {
            seed = std::strtoull(argv[++i], nullptr, 10);
        } else if (a == "--references" && i + 1 < argc) {
            const std::string_view kind = argv[++i];
            if (kind == "one") {
                references = References::one;
            } else if (kind == "per-port") {
                references = References::per_port;
            } else if (kind == "port-impedances") {
                references = References::port_impedances;
            } else {
                return usage();
            }
        } else {
            return usage();
        }
    }
    if (records == 0 || (pair && references != References::one) || (pair && files > 0)) {
        return usage();
    }
    const std::string_view eol = crlf ? "\r\n" : "\n";
    for (unsigned long long n = 1; n <= files; ++n) {
        write_single(base + "_" + std::to_string(n) + ".s2p", format, records, seed + n, eol,
                     references);
    }
    if (files > 0) return 0;

    if (!pair) {
        write_single(base + ".s2p", format, records, seed, eol, references);
        return 0;
    }
    const Sweep sweep(records);
    Random random{seed};
    Writer forward(base + "_fwd.s2p");
    header(forward, format, "forward measurement", eol, references);
    Writer reverse(base + "_rev.s2p");
    header(reverse, format, "reverse measurement (device turned round)", eol);
    for (unsigned long long i = 0; i < records; ++i) {
        const std::uint64_t hz = sweep.hz(i);
        const Device d = device_at(static_cast<double>(hz) * 1e-9, random);
        // Each run of the analyser measures all four parameters of what is connected.
        const Pair f[4] = {d.s11, d.s21, d.s12, d.s22};
        const Pair r[4] = {d.s22, d.s12, d.s21, d.s11};
        frequency(forward, hz);
        pairs(forward, f, 4, format, random);
        forward.put(eol);
        frequency(reverse, hz);
        pairs(reverse, r, 4, format, random);
        reverse.put(eol);
    }
    noise_section(forward, eol);
    noise_section(reverse, eol);
    return 0;
}
