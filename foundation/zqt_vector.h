// Dense vector and matrix routines: 3-point copies and distances, dot products, the
// symmetric completion of a normal matrix, matrix-vector products and an in-place
// Gauss-Jordan inversion.
#pragma once

#include <span>
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

}  // namespace zqt_vector
