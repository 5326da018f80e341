// Own power of two against the C library: every Pitch the update maps, and the whole domain.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "CoefficientUpdate.h"
#include "Exp2.h"

namespace vexatest {
namespace {

using namespace vexa;

/// Error of `value` against the long double reference, in units of the double's last place.
long double ulpError(double value, long double reference) {
    const double ulp = std::nextafter(value, std::numeric_limits<double>::infinity()) - value;
    return std::fabs(static_cast<long double>(value) - reference) / ulp;
}

/// The exponent the update forms from an offset-adjusted Pitch.
double updateExponent(float adjustedPitch) {
    return detail::voltsPerUnit * (static_cast<double>(adjustedPitch) - detail::referencePitch);
}

// Every float Pitch between the lowest and highest mapped one: the cutoff is
// the float a correctly rounded power gives (the x87-precision library power
// rounded to double), and the one this machine's C library gives.
TEST(PowerOfTwo, CutoffOfEveryMappedPitchMatchesTheLibrary) {
    long double worstError = 0.0L;
    float worstPitch = 0.0f;
    int64_t pitches = 0;
    int64_t differentFromRounded = 0;
    int64_t differentFromLibrary = 0;
    for (float p = std::nextafter(detail::pitchFloor, 2.0f); p <= detail::standardCeiling;
         p = std::nextafter(p, 2.0f)) {
        const double x = updateExponent(p);
        const long double exact = exp2l(static_cast<long double>(x));
        const long double error = ulpError(powerOfTwo(x), exact);
        if (error > worstError) {
            worstError = error;
            worstPitch = p;
        }
        const float cutoff = cutoffFrequency(p, detail::standardCeiling);
        const auto rounded = static_cast<float>(detail::referenceHz * static_cast<double>(exact));
        const auto library = static_cast<float>(detail::referenceHz * std::exp2(x));
        if (cutoff != rounded) {
            if (differentFromRounded++ < 5) ADD_FAILURE() << "Pitch " << p << ": " << cutoff << " against " << rounded;
        }
        if (cutoff != library) {
            if (differentFromLibrary++ < 5) ADD_FAILURE() << "Pitch " << p << ": " << cutoff << " against " << library;
        }
        ++pitches;
    }
    std::printf("%lld pitches, largest error %.4Lf ulp at Pitch %.9g\n", static_cast<long long>(pitches), worstError,
                worstPitch);
    EXPECT_GT(pitches, 20'000'000);
    EXPECT_EQ(differentFromRounded, 0);
    EXPECT_EQ(differentFromLibrary, 0);
    EXPECT_LT(worstError, 0.52L);
}

TEST(PowerOfTwo, WithinAnUlpOverTheWholeDomain) {
    for (int n = -1022; n < 1023; ++n) {
        ASSERT_EQ(powerOfTwo(n), std::ldexp(1.0, n)) << n;
        ASSERT_EQ(powerOfTwo(n + 0.5), std::ldexp(std::sqrt(2.0), n)) << n;
    }
    std::mt19937_64 random(12);
    std::uniform_real_distribution<double> anywhere(-1022.0, 1023.0);
    std::uniform_real_distribution<double> nearZero(-0.03, 0.03);
    long double worst = 0.0L;
    for (int i = 0; i < 1'000'000; ++i) {
        for (const double x : {anywhere(random), nearZero(random)}) {
            const long double error = ulpError(powerOfTwo(x), exp2l(static_cast<long double>(x)));
            if (error > worst) worst = error;
            ASSERT_LT(error, 0.52L) << "x = " << x;
        }
    }
    std::printf("largest error %.4Lf ulp\n", worst);
}

TEST(PowerOfTwo, StepsBetweenTableEntriesAreMonotonic) {
    // Around each rounding point of x to 1/64 the result switches table entry
    // and polynomial side; it must not step backwards there.
    for (int step = -64 * 4; step <= 64 * 6; ++step) {
        const double boundary = (step + 0.5) / 64.0;
        double below = boundary;
        for (int i = 0; i < 4; ++i) below = std::nextafter(below, -2000.0);
        double previous = powerOfTwo(below);
        for (double x = std::nextafter(below, 2000.0); x <= boundary + 1e-14; x = std::nextafter(x, 2000.0)) {
            const double value = powerOfTwo(x);
            ASSERT_GE(value, previous) << "x = " << x;
            previous = value;
        }
    }
}

}  // namespace
}  // namespace vexatest
