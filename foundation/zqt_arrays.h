// Sorted integer arrays used as sets: ascending, without duplicates.
#pragma once

#include <cstdint>
#include <vector>

namespace zqt_arrays {

using TSortedArrayOfInteger = std::vector<std::int32_t>;

// Binary search. True with i the position of v; False with i the index of the largest
// element below v (-1 when there is none).
bool SortedFind(const TSortedArrayOfInteger& A, std::int32_t v, int& i);
// Inserts v at its place; False (A unchanged) when it is already present.
bool SortedInsert(TSortedArrayOfInteger& A, std::int32_t v);
// Sorts ascending and removes duplicates.
void SortUnique(TSortedArrayOfInteger& A);
// A followed by B, sorted and unique.
TSortedArrayOfInteger SortedConcat(const TSortedArrayOfInteger& A, const TSortedArrayOfInteger& B);
// The elements of A that are not in B. A is made sorted and unique in place.
TSortedArrayOfInteger SortedDifference(TSortedArrayOfInteger& A, const TSortedArrayOfInteger& B);
// The elements of A that are also in B. A is made sorted and unique in place.
TSortedArrayOfInteger SortedIntersect(TSortedArrayOfInteger& A, const TSortedArrayOfInteger& B);
// Appends lo, lo + 1, ..., hi (nothing when hi < lo), then sorts and removes duplicates.
void AppendRange(TSortedArrayOfInteger& A, std::int32_t lo, std::int32_t hi);

}  // namespace zqt_arrays
