#include "zqt_arrays.h"

#include <algorithm>
#include <iterator>

namespace zqt_arrays {

bool SortedFind(const TSortedArrayOfInteger& A, std::int32_t v, int& i) {
    const auto it = std::lower_bound(A.begin(), A.end(), v);
    const auto pos = static_cast<int>(std::distance(A.begin(), it));
    if (it != A.end() && *it == v) {
        i = pos;
        return true;
    }
    i = pos - 1;
    return false;
}

bool SortedInsert(TSortedArrayOfInteger& A, std::int32_t v) {
    const auto it = std::lower_bound(A.begin(), A.end(), v);
    if (it != A.end() && *it == v) return false;
    A.insert(it, v);
    return true;
}

void SortUnique(TSortedArrayOfInteger& A) {
    if (A.size() < 2) return;
    std::sort(A.begin(), A.end());
    A.erase(std::unique(A.begin(), A.end()), A.end());
}

TSortedArrayOfInteger SortedConcat(const TSortedArrayOfInteger& A, const TSortedArrayOfInteger& B) {
    TSortedArrayOfInteger r;
    r.reserve(A.size() + B.size());
    r.insert(r.end(), A.begin(), A.end());
    r.insert(r.end(), B.begin(), B.end());
    SortUnique(r);
    return r;
}

namespace {

// B as a sorted set, whatever order the caller kept it in.
TSortedArrayOfInteger AsSet(const TSortedArrayOfInteger& B) {
    TSortedArrayOfInteger s = B;
    SortUnique(s);
    return s;
}

}  // namespace

TSortedArrayOfInteger SortedDifference(TSortedArrayOfInteger& A, const TSortedArrayOfInteger& B) {
    SortUnique(A);
    if (A.empty()) return {};
    if (B.empty()) return A;
    const TSortedArrayOfInteger b = AsSet(B);
    TSortedArrayOfInteger r;
    std::set_difference(A.begin(), A.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

TSortedArrayOfInteger SortedIntersect(TSortedArrayOfInteger& A, const TSortedArrayOfInteger& B) {
    SortUnique(A);
    if (A.empty() || B.empty()) return {};
    const TSortedArrayOfInteger b = AsSet(B);
    TSortedArrayOfInteger r;
    std::set_intersection(A.begin(), A.end(), b.begin(), b.end(), std::back_inserter(r));
    return r;
}

void AppendRange(TSortedArrayOfInteger& A, std::int32_t lo, std::int32_t hi) {
    if (hi >= lo) {
        A.reserve(A.size() + static_cast<std::size_t>(static_cast<std::int64_t>(hi) - lo + 1));
        for (std::int64_t v = lo; v <= hi; ++v) A.push_back(static_cast<std::int32_t>(v));
    }
    SortUnique(A);
}

}  // namespace zqt_arrays
