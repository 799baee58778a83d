// Square matrices of long double complex numbers for the independent routes of the N-port
// tests: products and an inverse by Gauss-Jordan, nothing of the tool's own arithmetic.
#pragma once

#include <complex>
#include <cstddef>
#include <utility>
#include <vector>

namespace tavrin::test {

using Cx = std::complex<long double>;

// A square matrix of long double complex numbers, row by row, for the independent route.
struct Matrix {
    std::size_t n = 0;
    std::vector<Cx> e;
    explicit Matrix(std::size_t size) : n(size), e(size * size) {}
    Cx& operator()(std::size_t i, std::size_t j) { return e[i * n + j]; }
    const Cx& operator()(std::size_t i, std::size_t j) const { return e[i * n + j]; }
};

inline Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix c(a.n);
    for (std::size_t i = 0; i < a.n; ++i)
        for (std::size_t k = 0; k < a.n; ++k)
            for (std::size_t j = 0; j < a.n; ++j) c(i, j) += a(i, k) * b(k, j);
    return c;
}

// Gauss-Jordan with partial pivoting on the modulus.
inline Matrix inverse(Matrix a) {
    const std::size_t n = a.n;
    Matrix x(n);
    for (std::size_t i = 0; i < n; ++i) x(i, i) = 1;
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t p = k;
        for (std::size_t r = k + 1; r < n; ++r)
            if (std::abs(a(r, k)) > std::abs(a(p, k))) p = r;
        for (std::size_t j = 0; j < n; ++j) {
            std::swap(a(k, j), a(p, j));
            std::swap(x(k, j), x(p, j));
        }
        const Cx d = a(k, k);
        for (std::size_t j = 0; j < n; ++j) {
            a(k, j) /= d;
            x(k, j) /= d;
        }
        for (std::size_t r = 0; r < n; ++r) {
            if (r == k) continue;
            const Cx f = a(r, k);
            for (std::size_t j = 0; j < n; ++j) {
                a(r, j) -= f * a(k, j);
                x(r, j) -= f * x(k, j);
            }
        }
    }
    return x;
}

}  // namespace tavrin::test
