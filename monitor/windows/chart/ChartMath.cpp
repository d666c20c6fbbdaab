#include "monitor/windows/chart/ChartMath.h"

#include <algorithm>
#include <cmath>

namespace chart {

namespace {
constexpr double kFullCircleDeg = 360;
constexpr double kHeadroomFraction = 0.1;
constexpr double kMinHeadroom = 1;
}  // namespace

double NeedleAngleDeg(const DialScale& scale, double value) {
    const double span = scale.max - scale.min;
    if (!(span > 0)) return scale.rotationDeg;
    const double clamped = std::clamp(value, scale.min, scale.max);
    return scale.rotationDeg - (clamped - scale.min) / span * scale.sweepDeg;
}

int LabelValues(const DialScale& scale, double step, double* out, int capacity) {
    if (!(step > 0) || !(scale.max > scale.min)) return 0;
    const bool fullCircle = std::abs(scale.sweepDeg) >= kFullCircleDeg;
    int count = 0;
    // Counting steps instead of adding them keeps 0.1-steps from drifting off the end.
    for (int i = 0; count < capacity; ++i) {
        const double v = scale.min + i * step;
        if (v > scale.max + step * 1e-9) break;
        if (fullCircle && std::abs(v - scale.max) < step * 1e-9 && i > 0) break;
        out[count++] = v;
    }
    return count;
}

Range ScrollRange(Range current, double offset, bool checkLimits, Range data) {
    if (!checkLimits) return {current.min + offset, current.max + offset};
    if (offset > 0) offset = std::min(offset, std::max(0.0, data.max - current.max));
    if (offset < 0) offset = std::max(offset, std::min(0.0, data.min - current.min));
    return {current.min + offset, current.max + offset};
}

Range FollowData(Range current, Range data) {
    const bool valid = current.max > current.min;
    if (valid && data.min >= current.min && data.max <= current.max) return current;
    if (!valid) {
        // A fresh axis starts at its first value and grows towards larger ones, as a
        // time line does.
        return {data.min, data.max + std::max(kMinHeadroom, (data.max - data.min) * kHeadroomFraction)};
    }
    const double lo = std::min(current.min, data.min);
    const double hi = std::max(current.max, data.max);
    const double room = std::max(kMinHeadroom, (hi - lo) * kHeadroomFraction);
    return {data.min < current.min ? lo - room : lo, data.max > current.max ? hi + room : hi};
}

Range FitSlots(Range data, int minSlots) {
    const double last = std::max(data.max, data.min + std::max(1, minSlots) - 1);
    return {data.min - 0.5, last + 0.5};
}

std::size_t PointsToDrop(std::size_t count, std::size_t capacity) {
    if (capacity == 0) return 0;
    const std::size_t slack = std::max<std::size_t>(1, capacity / 8);
    return count >= capacity + slack ? count - capacity : 0;
}

}  // namespace chart
