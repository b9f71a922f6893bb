// Dense vector and matrix routines: 3-point copies and distances, dot products, the
// symmetric completion of a normal matrix, matrix-vector products and an in-place
// Gauss-Jordan inversion.
#pragma once

#include <cmath>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "zqt_basestorage.h"

namespace zqt_vector {

using TDoubleVector = std::vector<double>;
using TDoubleMatrix = std::vector<TDoubleVector>;  // rows

// Copies three Doubles.
void Copy3(std::span<const double, 3> A, std::span<double, 3> B);
void Copy3(const zqt_basestorage::RVec3& A, zqt_basestorage::RVec3& B);

// Euclidean distance of two 3-points.
double Distance3(std::span<const double, 3> A, std::span<const double, 3> B);
double Distance3(const zqt_basestorage::RVec3& A, const zqt_basestorage::RVec3& B);

// Sum of a[i] * b[i] for i < n; 0 for n <= 0. Raises when a vector is shorter than n.
double Dot(int n, std::span<const double> a, std::span<const double> b);

// A[j][i] := A[i][j] for every i < j < n: the symmetric matrix from its upper triangle.
void MirrorUpper(int n, TDoubleMatrix& A);

// y[i] := sum over j < cols of A[i][j] * x[j] for i < rows; an element whose magnitude is
// below Eps becomes 0. y is resized to rows.
void MatVecMul(int rows, int cols, const TDoubleMatrix& A, std::span<const double> x,
               TDoubleVector& y, double Eps);

// Inverts the n x n matrix A in place (Gauss-Jordan with the first pivot above Eps in
// magnitude). False, with A unchanged, when the matrix is singular. Raises when A is
// smaller than n x n.
bool InvertMatrix(int n, TDoubleMatrix& A, double Eps);

// The inversion itself, for any matrix of rows indexed [i][j] (rows of n or more values)
// with a work matrix W of n rows of 2n or more values, which it overwrites: fixed-size
// arrays serve without allocation. False, with A unchanged, when the matrix is singular.
template <class Matrix, class Work>
bool InvertInPlace(Matrix& A, std::size_t N, double Eps, Work& W) {
    // The augmented matrix [A | I]; A itself is touched only on success.
    for (std::size_t i = 0; i < N; ++i) {
        for (std::size_t j = 0; j < N; ++j) {
            W[i][j] = A[i][j];
            W[i][N + j] = i == j ? 1.0 : 0.0;
        }
    }
    for (std::size_t k = 0; k < N; ++k) {
        std::size_t r = k;
        while (r < N && !(std::fabs(W[r][k]) > Eps)) ++r;
        if (r == N) return false;  // no usable pivot: singular
        if (r != k) std::swap(W[r], W[k]);
        const double pivot = W[k][k];
        for (std::size_t j = k; j < 2 * N; ++j) W[k][j] /= pivot;
        for (std::size_t i = 0; i < N; ++i) {
            if (i == k) continue;
            const double f = W[i][k];
            if (f == 0.0) continue;
            for (std::size_t j = k; j < 2 * N; ++j) W[i][j] -= f * W[k][j];
        }
    }
    for (std::size_t i = 0; i < N; ++i)
        for (std::size_t j = 0; j < N; ++j) A[i][j] = W[i][N + j];
    return true;
}

}  // namespace zqt_vector
