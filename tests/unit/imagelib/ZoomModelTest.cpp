// Zoom arithmetic of image windows: limits, steps, snapping, the stop at the fit
// zoom and the way back from it.
#include "imagelib/window/paint.h"
#include "imagelib/window/zoom.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tvx::imagelib;

namespace {

TEST(ZoomModel, StoredZoomsReadWithinTheLimits)
{
    EXPECT_EQ(usableZoom(0), 1.0);
    EXPECT_EQ(usableZoom(-5), 1.0);
    EXPECT_EQ(usableZoom(std::numeric_limits<double>::quiet_NaN()), 1.0);
    EXPECT_EQ(usableZoom(1e9), 16384.0);
    EXPECT_EQ(usableZoom(std::numeric_limits<double>::infinity()), 16384.0);
    EXPECT_EQ(usableZoom(1e-9), 1.0 / 16384);
    EXPECT_EQ(usableZoom(0.3), 0.3);
    // Zoomed sizes round and stay ints whatever the zoom.
    EXPECT_EQ(zoomedExtent(3, 0.5), 2);
    EXPECT_EQ(zoomedExtent(200, 0.95), 190);
    EXPECT_EQ(zoomedExtent(2000000000, 16384), kMaxZoomedExtent);
    EXPECT_EQ(zoomedExtent(1, 1.0 / 16384), 1);
}

TEST(ZoomModel, StepsMultiplyAndStepsInByTwoSnap)
{
    // 0.3 x 2 = 0.6 snaps to 1/2; whole zooms above 1 snap to whole numbers.
    EXPECT_DOUBLE_EQ(steppedZoom(0.3, 2, true), 0.5);
    EXPECT_DOUBLE_EQ(steppedZoom(1.3, 2, true), 3.0);
    EXPECT_DOUBLE_EQ(steppedZoom(0.2, 2, true), 1.0 / 3);  // 0.4 -> 1 / round(2.5)
    // Other factors do not snap, and steps out never do.
    EXPECT_DOUBLE_EQ(steppedZoom(0.3, 1.5, true), 0.45);
    EXPECT_DOUBLE_EQ(steppedZoom(0.3, 2, false), 0.15);
    // The limits hold at both ends.
    EXPECT_EQ(steppedZoom(16000, 2, true), 16384.0);
    EXPECT_EQ(steppedZoom(1.0 / 16000, 2, false), 1.0 / 16384);
}

TEST(ZoomModel, TheFactorOfAStepDependsOnHowItWasAskedFor)
{
    const double root2 = std::sqrt(2.0);
    EXPECT_EQ(stepFactor(2, false), 2.0);
    EXPECT_DOUBLE_EQ(stepFactor(2, true), root2);  // wheel steps are at most root 2
    EXPECT_DOUBLE_EQ(stepFactor(1.2, true), 1.2);
    EXPECT_DOUBLE_EQ(stepFactor(0.5, true), root2);  // below 1: root 2 for the wheel
    EXPECT_EQ(stepFactor(0.5, false), 1.0);          // and no step otherwise
    EXPECT_EQ(stepFactor(0.05, false), 2.0);         // below 0.1: the default
}

TEST(ZoomModel, AStepAcrossTheFitZoomStopsThereAndTheNextOneContinues)
{
    FitMemory memory;
    // Stepping out from 1 by 2 to 0.5 passes the fit zoom 0.75.
    double z = zoomAfterFitStop(1.0, 0.5, 0.75, true, false, memory);
    EXPECT_EQ(z, 0.75);
    EXPECT_EQ(memory.saved, 0.5);
    EXPECT_EQ(memory.previous, 1.0);
    // Out again: on to where the first step was going.
    FitMemory out = memory;
    EXPECT_EQ(zoomAfterFitStop(0.75, 0.375, 0.75, true, false, out), 0.5);
    EXPECT_EQ(out.saved, 0.0);
    // In instead: back to where it came from.
    FitMemory in = memory;
    EXPECT_EQ(zoomAfterFitStop(0.75, 1.5, 0.75, true, true, in), 1.0);

    // Stepping in: a new zoom above 0.95 F from below 0.99 F stops at F.
    FitMemory up;
    EXPECT_EQ(zoomAfterFitStop(0.5, 1.0, 0.8, true, true, up), 0.8);
    EXPECT_EQ(zoomAfterFitStop(0.8, 1.6, 0.8, true, true, up), 1.0);
    // Starting at (or just below) F there is no stop.
    FitMemory none;
    EXPECT_EQ(zoomAfterFitStop(0.795, 1.59, 0.8, true, true, none), 1.59);
    // Option bit 0 (or a factor of at most 1.01) turns the stop off.
    EXPECT_EQ(zoomAfterFitStop(1.0, 0.5, 0.75, false, false, none), 0.5);
    // Memory left from a stop is not used once the zoom has left F.
    FitMemory stale{0.5, 1.0};
    EXPECT_EQ(zoomAfterFitStop(2.0, 1.0, 0.75, true, false, stale), 1.0);
    EXPECT_EQ(stale.saved, 0.0);
}

TEST(ZoomModel, ScrollingKeepsThePointUnderTheCursor)
{
    // Image point (10 + 30) / 2 = 20 under client x 30; at zoom 4 it lies at 80.
    EXPECT_EQ(scrollKeepingPoint(10, 30, 2, 4), 50);
    // Never before the start.
    EXPECT_EQ(scrollKeepingPoint(0, 100, 2, 1), 0);
}

TEST(ZoomModel, AxisMapsPickTheNearestSourcePixelOnAlignedGrids)
{
    // Whole zooms: source pixel k covers k * zoom .. k * zoom + zoom - 1.
    const AxisMap three(3, 100);
    EXPECT_EQ(three.source(2), 0);
    EXPECT_EQ(three.source(3), 1);
    EXPECT_EQ(three.source(299), 99);
    EXPECT_EQ(three.source(400), 99);  // beyond the picture: its last pixel
    // Fractional zooms step in 16.16 fixed point.
    const AxisMap quarter(0.25, 4096);
    EXPECT_EQ(quarter.source(1), 4);
    EXPECT_EQ(quarter.source(1023), 4092);
    const AxisMap oneAndHalf(1.5, 100);
    EXPECT_EQ(oneAndHalf.source(3), 2);
    EXPECT_EQ(oneAndHalf.source(4), 2);
    EXPECT_EQ(oneAndHalf.source(5), 3);
}

}  // namespace
