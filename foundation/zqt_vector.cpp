#include "zqt_vector.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "sysutils.h"

namespace zqt_vector {

using zqt_basestorage::RVec3;

namespace {

// Raises when a matrix has fewer than rows rows of at least cols elements.
void CheckMatrix(const char* routine, const TDoubleMatrix& A, int rows, int cols) {
    bool ok = A.size() >= static_cast<std::size_t>(rows);
    for (int i = 0; ok && i < rows; ++i)
        ok = A[static_cast<std::size_t>(i)].size() >= static_cast<std::size_t>(cols);
    if (!ok)
        throw sysutils::Exception(
            sysutils::Format("%s: matrix smaller than %d x %d", routine, rows, cols));
}

void CheckVector(const char* routine, std::span<const double> v, int n) {
    if (v.size() < static_cast<std::size_t>(n))
        throw sysutils::Exception(sysutils::Format("%s: vector shorter than %d", routine, n));
}

}  // namespace

void Copy3(std::span<const double, 3> A, std::span<double, 3> B) {
    B[0] = A[0];
    B[1] = A[1];
    B[2] = A[2];
}

void Copy3(const RVec3& A, RVec3& B) { B = A; }

double Distance3(std::span<const double, 3> A, std::span<const double, 3> B) {
    const double dx = A[0] - B[0], dy = A[1] - B[1], dz = A[2] - B[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double Distance3(const RVec3& A, const RVec3& B) {
    const double dx = A.X - B.X, dy = A.Y - B.Y, dz = A.Z - B.Z;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

double Dot(int n, std::span<const double> a, std::span<const double> b) {
    if (n <= 0) return 0.0;
    CheckVector("Dot", a, n);
    CheckVector("Dot", b, n);
    double s = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) s += a[i] * b[i];
    return s;
}

void MirrorUpper(int n, TDoubleMatrix& A) {
    if (n <= 0) return;
    CheckMatrix("MirrorUpper", A, n, n);
    const auto N = static_cast<std::size_t>(n);
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = i + 1; j < N; ++j) A[j][i] = A[i][j];
}

void MatVecMul(int rows, int cols, const TDoubleMatrix& A, std::span<const double> x,
               TDoubleVector& y, double Eps) {
    if (rows <= 0) {
        y.clear();
        return;
    }
    if (cols < 0) cols = 0;
    CheckMatrix("MatVecMul", A, rows, cols);
    CheckVector("MatVecMul", x, cols);
    TDoubleVector r(static_cast<std::size_t>(rows), 0.0);
    for (std::size_t i = 0; i < r.size(); ++i) {
        double s = 0.0;
        for (std::size_t j = 0; j < static_cast<std::size_t>(cols); ++j) s += A[i][j] * x[j];
        r[i] = std::fabs(s) < Eps ? 0.0 : s;
    }
    y = std::move(r);
}

bool InvertMatrix(int n, TDoubleMatrix& A, double Eps) {
    if (n <= 0) return true;
    CheckMatrix("InvertMatrix", A, n, n);
    const auto N = static_cast<std::size_t>(n);

    TDoubleMatrix W(N, TDoubleVector(2 * N, 0.0));
    return InvertInPlace(A, N, Eps, W);
}

}  // namespace zqt_vector
