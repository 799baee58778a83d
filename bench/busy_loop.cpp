// A busy loop for the benchmarks: integer and floating-point work that stays in registers,
// with no memory traffic, system calls or locks. Two of them at once show what the machine
// gives two independent jobs, against which the speed-up of the folder pool is judged.
//
//   busy_loop ITERATIONS
//
// Prints nothing; exits 0. The result is kept alive through the exit status's computation.
#include <cstdint>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::uint64_t iterations = std::strtoull(argv[1], nullptr, 10);
    std::uint64_t x = 0x9E3779B97F4A7C15ull;
    double y = 1.0;
    for (std::uint64_t i = 0; i < iterations; ++i) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        y = y * 0.999999 + static_cast<double>(x & 0xFF) * 1e-9;
    }
    return (x == 0 && y < 0.0) ? 1 : 0;
}
