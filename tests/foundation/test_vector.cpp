#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <vector>

#include "sysutils.h"
#include "zqt_arrays.h"
#include "zqt_basestorage.h"
#include "zqt_constants.h"
#include "zqt_vector.h"

using namespace zqt_basestorage;
using namespace zqt_vector;
using zqt_constants::HalfPi;
using zqt_constants::TwoPi;

namespace {

constexpr double kA = 6378137.0;
constexpr double kB = 6356752.314245179;

void ExpectVec(const RVec3& v, double x, double y, double z, double tol = 1e-12) {
    EXPECT_NEAR(v.X, x, tol);
    EXPECT_NEAR(v.Y, y, tol);
    EXPECT_NEAR(v.Z, z, tol);
}

// ---------------------------------------------------------------------------------------
// 3-vectors

TEST(VectorTest, NormalizeAndRotate) {
    RVec3 r;
    Vec3Normalize(r, RVec3{0, 0, 0});
    EXPECT_TRUE(Vec3IsZero(r));
    Vec3Normalize(r, RVec3{3, 0, 4});
    ExpectVec(r, 0.6, 0.0, 0.8);

    RVec3 v{0, 1, 0};
    Vec3RotateX(v, v, HalfPi);  // in place
    ExpectVec(v, 0, 0, -1);
    v = RVec3{1, 0, 0};
    Vec3RotateZ(v, v, HalfPi);
    ExpectVec(v, 0, -1, 0);
    Vec3RotateZ(RVec3{1, 2, 3}, r, 0.0);
    EXPECT_TRUE(Vec3Equal(r, RVec3{1, 2, 3}));
    EXPECT_TRUE(Vec3NotEqual(r, RVec3{1, 2, 3.0000001}));
}

TEST(VectorTest, Texts) {
    EXPECT_EQ(Vec3ToStr(RVec3{1, 2, 3}),
              "             1.000              2.000              3.000");
    EXPECT_EQ(Vec3ToStr(RVec3{-2849391.125, 2199937.5, 5249131.0}),
              "      -2849391.125        2199937.500        5249131.000");
    EXPECT_EQ(GeoToStr(RGeo{55.5, -37.25, 150.1234}), "55.500000000 -37.250000000 150.123");
    RGeo g{1, 2, 3};
    GeoClear(g);
    EXPECT_TRUE(GeoIsZero(g));
}

TEST(VectorTest, ToLocalFrame) {
    struct Case {
        RVec3 station, v;
        double e, n, u;
    };
    const std::vector<Case> cases = {
        // On the equator at longitude 0: east = +Y, north = +Z, up = +X.
        {{kA, 0, 0}, {0, 1, 0}, 1, 0, 0},
        {{kA, 0, 0}, {0, 0, 1}, 0, 1, 0},
        {{kA, 0, 0}, {1, 0, 0}, 0, 0, 1},
        // On the equator at longitude 90: east = -X.
        {{0, kA, 0}, {-1, 0, 0}, 1, 0, 0},
        // North pole: up = +Z, north = -X (longitude 0).
        {{0, 0, kB}, {0, 0, 1}, 0, 0, 1},
        {{0, 0, kB}, {-1, 0, 0}, 0, 1, 0},
    };
    for (const auto& c : cases) {
        RVec3 r;
        Vec3ToLocal(c.v, r, c.station);
        ExpectVec(r, c.e, c.n, c.u);
    }
}

TEST(VectorTest, AzimuthElevation) {
    const RVec3 sta{kA, 0, 0};
    struct Case {
        RVec3 sat;
        double az, el;
    };
    const std::vector<Case> cases = {
        {{kA + 2.0e7, 0, 0}, 0.0, HalfPi},   // zenith
        {{kA, 1.0e6, 0}, HalfPi, 0.0},       // east on the horizon
        {{kA, 0, 1.0e6}, 0.0, 0.0},          // north
        {{kA, -1.0e6, 0}, 3 * HalfPi, 0.0},  // west: a negative azimuth wraps
        {{kA, 0, -1.0e6}, TwoPi / 2, 0.0},   // south
        {{kA + 1.0e6, 1.0e6, 0}, HalfPi, HalfPi / 2},
        {{kA - 1.0e6, 0, 0}, 0.0, -HalfPi},  // nadir
    };
    for (const auto& c : cases) {
        RAzEl ae;
        ASSERT_TRUE(AzimuthElevation(sta, c.sat, ae));
        EXPECT_NEAR(ae.Azimuth, c.az, 1e-12);
        EXPECT_NEAR(ae.Elevation, c.el, 1e-12);
        EXPECT_GE(ae.Azimuth, 0.0);
        EXPECT_LT(ae.Azimuth, TwoPi);
    }
    RAzEl ae;
    EXPECT_FALSE(AzimuthElevation(RVec3{NAN, 0, 0}, RVec3{kA, 0, 0}, ae));
    EXPECT_FALSE(AzimuthElevation(sta, RVec3{0, NAN, 0}, ae));
}

// A satellite straight above any station is at the zenith, never "no elevation", even
// when rounding carries the up component past 1.
TEST(VectorTest, ZenithEverywhere) {
    int count = 0;
    for (double lat = -89.5; lat < 90; lat += 7.25)
        for (double lon = -180; lon < 180; lon += 11.5)
            for (double h : {-50.0, 0.0, 431.7, 8000.0}) {
                RVec3 sta, up;
                BLHToXYZ(lat, lon, h, sta.X, sta.Y, sta.Z);
                BLHToXYZ(lat, lon, h + 2.02e7, up.X, up.Y, up.Z);
                RAzEl ae;
                ASSERT_TRUE(AzimuthElevation(sta, up, ae)) << lat << " " << lon << " " << h;
                EXPECT_NEAR(ae.Elevation, HalfPi, 1e-7);
                ++count;
            }
    EXPECT_GT(count, 1000);
}

// ---------------------------------------------------------------------------------------
// WGS-84 coordinates

TEST(VectorTest, XYZToBLHSpecialPoints) {
    struct Case {
        double x, y, z, lat, lon, h;
    };
    const std::vector<Case> cases = {
        {0, 0, kB + 100, 90, 0, 100},
        {0, 0, -(kB + 100), -90, 0, 100},
        {0, 0, 0, 0, 0, 0},
        {kA, 0, 0, 0, 0, 0},
        {0, -kA, 0, 0, -90, 0},
        {0, kA, 0, 0, 90, 0},
        {-kA - 10, 0, 0, 0, 180, 10},
        // Next to the polar axis the height must not suffer from a vanishing cosine.
        {1e-9, 0, kB + 100, 90, 0, 100},
        {0, 1e-6, -(kB + 100), -90, 90, 100},
    };
    for (const auto& c : cases) {
        double lat, lon, h;
        XYZToBLH(c.x, c.y, c.z, lat, lon, h);
        EXPECT_NEAR(lat, c.lat, 1e-10);
        EXPECT_NEAR(lon, c.lon, 1e-10);
        EXPECT_NEAR(h, c.h, 1e-6);
    }
    double lat, lon, h;
    XYZToBLH(NAN, 0, 0, lat, lon, h);
    EXPECT_TRUE(std::isnan(lat) && std::isnan(lon) && std::isnan(h));

    double x, y, z;
    BLHToXYZ(90, 37, 0, x, y, z);
    EXPECT_EQ(x, 0.0);
    EXPECT_EQ(y, 0.0);
    EXPECT_NEAR(z, kB, 1e-6);
    BLHToXYZ(0, 0, NAN, x, y, z);
    EXPECT_TRUE(std::isnan(x) && std::isnan(y) && std::isnan(z));
}

// The conversion must agree with the forward one far below what any position needs
// (1e-9 rad, 0.1 mm), from below the surface up to satellite heights (one closed-form
// step alone errs by 8e-9 rad and 0.25 m at 20,200 km).
TEST(VectorTest, XYZToBLHRoundTrip) {
    const double tolDeg = 1e-9 * zqt_constants::RadToDeg;
    for (double lat = -89.9; lat <= 89.9; lat += 3.7)
        for (double lon = -179.5; lon < 180; lon += 13.3)
            for (double h : {-1000.0, 0.0, 123.456, 9000.0, 100000.0, 2.02e7, 3.5786e7}) {
                double x, y, z, lat2, lon2, h2;
                BLHToXYZ(lat, lon, h, x, y, z);
                XYZToBLH(x, y, z, lat2, lon2, h2);
                EXPECT_NEAR(lat2, lat, tolDeg) << lat << " " << lon << " " << h;
                EXPECT_NEAR(lon2, lon, tolDeg) << lat << " " << lon << " " << h;
                EXPECT_NEAR(h2, h, 1e-4) << lat << " " << lon << " " << h;
            }
}

// ---------------------------------------------------------------------------------------
// Attitude

TEST(VectorTest, OrientationAngles) {
    ROrientation o{5, 5};
    const std::array<float, 6> level{0, 0, 1, 0, 0.5f, 0};
    OrientationAngles(level, o);
    EXPECT_NEAR(o.Angle, HalfPi, 1e-7);
    EXPECT_NEAR(o.Factor, std::sqrt(3.0) / 2, 1e-7);

    // Missing attitude: both 0.
    for (const auto& att : std::vector<std::vector<float>>{{0, 0, NAN, 0, 0.5f, 0},
                                                           {0, 0, 0, 1, 0.5f, 0},
                                                           {0, 0, 1, 0, 0, 0},
                                                           {0, 0, 1, 0, 0.5f}}) {
        o = ROrientation{5, 5};
        OrientationAngles(att, o);
        EXPECT_EQ(o.Angle, 0.0);
        EXPECT_EQ(o.Factor, 0.0);
    }
}

// ---------------------------------------------------------------------------------------
// Matrices

TEST(VectorTest, DotDistanceMirrorMatVec) {
    const std::vector<double> a{1, 2, 3}, b{4, 5, 6};
    EXPECT_EQ(Dot(0, a, b), 0.0);
    EXPECT_EQ(Dot(2, a, b), 14.0);
    EXPECT_EQ(Dot(3, a, b), 32.0);
    EXPECT_THROW(Dot(4, a, b), sysutils::Exception);

    EXPECT_DOUBLE_EQ(Distance3(RVec3{1, 2, 3}, RVec3{4, 6, 3}), 5.0);
    const std::array<double, 3> p{0, 0, 0}, q{2, 3, 6};
    EXPECT_DOUBLE_EQ(Distance3(p, q), 7.0);

    TDoubleMatrix m{{1, 2, 3}, {0, 4, 5}, {0, 0, 6}};
    MirrorUpper(3, m);
    EXPECT_EQ(m, (TDoubleMatrix{{1, 2, 3}, {2, 4, 5}, {3, 5, 6}}));

    TDoubleVector y{9, 9, 9, 9};
    MatVecMul(2, 3, TDoubleMatrix{{1, 1, 1}, {1e-3, -1e-3, 1e-10}}, std::vector<double>{1, 2, 3}, y,
              1e-6);
    ASSERT_EQ(y.size(), 2u);
    EXPECT_EQ(y[0], 6.0);
    EXPECT_NEAR(y[1], -1e-3 + 3e-10, 1e-15);
    MatVecMul(1, 3, TDoubleMatrix{{1e-9, 0, 0}}, std::vector<double>{1, 2, 3}, y, 1e-6);
    EXPECT_EQ(y, TDoubleVector{0.0});
    EXPECT_THROW(MatVecMul(3, 3, m, std::vector<double>{1, 2}, y, 0), sysutils::Exception);
}

TEST(VectorTest, InvertMatrix) {
    // A 3 x 3 with a known inverse.
    TDoubleMatrix a{{2, -1, 0}, {-1, 2, -1}, {0, -1, 2}};
    ASSERT_TRUE(InvertMatrix(3, a, 1e-30));
    const TDoubleMatrix inv{{0.75, 0.5, 0.25}, {0.5, 1.0, 0.5}, {0.25, 0.5, 0.75}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) EXPECT_NEAR(a[i][j], inv[i][j], 1e-15);

    // A row swap is needed.
    TDoubleMatrix s{{0, 1}, {1, 0}};
    ASSERT_TRUE(InvertMatrix(2, s, 1e-30));
    EXPECT_EQ(s, (TDoubleMatrix{{0, 1}, {1, 0}}));

    // Singular matrices are left unchanged.
    for (TDoubleMatrix bad : {TDoubleMatrix{{1, 0, 2}, {3, 0, 4}, {5, 0, 6}},
                              TDoubleMatrix{{1, 2}, {2, 4}}, TDoubleMatrix{{1e-31, 0}, {0, 1}}}) {
        const TDoubleMatrix before = bad;
        EXPECT_FALSE(InvertMatrix(static_cast<int>(bad.size()), bad, 1e-30));
        EXPECT_EQ(bad, before);
    }

    // A 4 x 4 that needs pivoting: A * inverse(A) = I.
    const TDoubleMatrix m{{0, 2, 1, 3}, {1, 0, 4, 1}, {2, 1, 0, 0}, {1, 1, 1, 0}};
    TDoubleMatrix mi = m;
    ASSERT_TRUE(InvertMatrix(4, mi, 1e-12));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double s2 = 0;
            for (int k = 0; k < 4; ++k) s2 += m[i][k] * mi[k][j];
            EXPECT_NEAR(s2, i == j ? 1.0 : 0.0, 1e-13);
        }

    TDoubleMatrix small{{1, 2}};
    EXPECT_THROW(InvertMatrix(2, small, 1e-30), sysutils::Exception);
    TDoubleMatrix empty;
    EXPECT_TRUE(InvertMatrix(0, empty, 1e-30));
}

// ---------------------------------------------------------------------------------------
// Sorted integer arrays

using zqt_arrays::TSortedArrayOfInteger;

TEST(ArraysTest, SortedFind) {
    const TSortedArrayOfInteger a{2, 4, 6};
    struct Case {
        int v;
        bool found;
        int i;
    };
    for (const Case& c : std::vector<Case>{
             {1, false, -1}, {2, true, 0}, {3, false, 0}, {6, true, 2}, {7, false, 2}}) {
        int i = 99;
        EXPECT_EQ(zqt_arrays::SortedFind(a, c.v, i), c.found) << c.v;
        EXPECT_EQ(i, c.i) << c.v;
    }
    int i = 99;
    EXPECT_FALSE(zqt_arrays::SortedFind({}, 5, i));
    EXPECT_EQ(i, -1);
}

TEST(ArraysTest, InsertAndUnique) {
    TSortedArrayOfInteger a{1, 3};
    EXPECT_TRUE(zqt_arrays::SortedInsert(a, 2));
    EXPECT_FALSE(zqt_arrays::SortedInsert(a, 3));
    EXPECT_TRUE(zqt_arrays::SortedInsert(a, 0));
    EXPECT_TRUE(zqt_arrays::SortedInsert(a, 9));
    EXPECT_EQ(a, (TSortedArrayOfInteger{0, 1, 2, 3, 9}));

    TSortedArrayOfInteger u{5, -1, 5, INT32_MIN, 3, -1, INT32_MAX};
    zqt_arrays::SortUnique(u);
    EXPECT_EQ(u, (TSortedArrayOfInteger{INT32_MIN, -1, 3, 5, INT32_MAX}));
}

TEST(ArraysTest, SetOperations) {
    TSortedArrayOfInteger a{3, 1, 3};
    EXPECT_EQ(zqt_arrays::SortedDifference(a, {1}), (TSortedArrayOfInteger{3}));
    EXPECT_EQ(a, (TSortedArrayOfInteger{1, 3}));

    struct Case {
        TSortedArrayOfInteger a, b, diff, inter, concat;
    };
    const std::vector<Case> cases = {
        {{1, 2, 3, 4}, {2, 4, 6}, {1, 3}, {2, 4}, {1, 2, 3, 4, 6}},
        {{5, 1}, {}, {1, 5}, {}, {1, 5}},
        {{}, {1, 2}, {}, {}, {1, 2}},
        {{4, 2}, {4, 9, 2, 2}, {}, {2, 4}, {2, 4, 9}},  // unsorted second array
    };
    for (const auto& c : cases) {
        TSortedArrayOfInteger a1 = c.a, a2 = c.a;
        EXPECT_EQ(zqt_arrays::SortedDifference(a1, c.b), c.diff);
        EXPECT_EQ(zqt_arrays::SortedIntersect(a2, c.b), c.inter);
        EXPECT_EQ(zqt_arrays::SortedConcat(c.a, c.b), c.concat);
    }
}

TEST(ArraysTest, AppendRange) {
    TSortedArrayOfInteger a{10, 1};
    zqt_arrays::AppendRange(a, 3, 5);
    EXPECT_EQ(a, (TSortedArrayOfInteger{1, 3, 4, 5, 10}));
    zqt_arrays::AppendRange(a, 9, 11);
    EXPECT_EQ(a, (TSortedArrayOfInteger{1, 3, 4, 5, 9, 10, 11}));
    zqt_arrays::AppendRange(a, 7, 6);  // empty range
    EXPECT_EQ(a.size(), 7u);
    TSortedArrayOfInteger top;
    zqt_arrays::AppendRange(top, INT32_MAX - 1, INT32_MAX);  // must end at the top
    EXPECT_EQ(top, (TSortedArrayOfInteger{INT32_MAX - 1, INT32_MAX}));
}

}  // namespace
