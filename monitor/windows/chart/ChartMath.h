// The chart component's arithmetic, kept apart from the widgets so that it is tested
// without a window: colour values, where a gauge's needle points, how an axis scrolls and
// how an automatic axis follows its data.
#pragma once

#include <cstddef>
#include <cstdint>

namespace chart {

// Colours cross the component's interface as 32-bit 0x00BBGGRR values, the layout the
// windows' drawing code uses everywhere (red in the lowest byte).
constexpr uint32_t ColourRef(uint8_t red, uint8_t green, uint8_t blue) {
    return uint32_t{red} | (uint32_t{green} << 8) | (uint32_t{blue} << 16);
}

struct Rgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// The top byte carries nothing and is ignored.
constexpr Rgb RgbOf(uint32_t colourRef) {
    return {static_cast<uint8_t>(colourRef & 0xFF), static_cast<uint8_t>((colourRef >> 8) & 0xFF),
            static_cast<uint8_t>((colourRef >> 16) & 0xFF)};
}

struct Range {
    double min = 0;
    double max = 0;
    bool operator==(const Range&) const = default;
};

// A dial's scale: the minimum sits at `rotationDeg` (degrees counter-clockwise from
// three o'clock, as on a protractor) and values grow clockwise over `sweepDeg`.
struct DialScale {
    double min = 0;
    double max = 100;
    double sweepDeg = 270;
    double rotationDeg = 225;
};

// Direction of the needle for `value`, in the same degrees as `rotationDeg`. Values
// outside the scale stop the needle at its end, as a mechanical dial would, so a speed
// beyond the printed maximum never wraps round to the start of a 270-degree dial.
double NeedleAngleDeg(const DialScale& scale, double value);

// Values of the labelled ticks from min to max every `step` (a full circle leaves out
// the last label, which would sit on the first). Returns how many were written.
int LabelValues(const DialScale& scale, double step, double* out, int capacity);

// Where an axis lands after scrolling by `offset`. With `checkLimits` the range may not
// move past the data: an edge that would leave [dataMin, dataMax] stops at it, and a
// range that already shows the data's end does not move further that way. Without it
// the range moves by the whole offset.
Range ScrollRange(Range current, double offset, bool checkLimits, Range data);

// The range of an automatic axis after its data became `data`. The range only changes
// when the data leaves it, and then grows with room to spare (a tenth of the span, at
// least 1), so that appending a point rarely moves the axis and a chart with a long
// history does not repaint it all on every sample. An empty range (after a clear sets
// it to (0, 0)) starts at the data's minimum.
Range FollowData(Range current, Range data);

// The key range of a bar chart with bars at whole keys from data.min to data.max: half a
// slot beyond the outer bars, and room for at least `minSlots` bars so that a handful of
// satellites do not turn into slabs.
Range FitSlots(Range data, int minSlots);

// A series with a capacity keeps its newest `capacity` points. It is let grow an eighth
// beyond (at least one point) and then cut back to `capacity` at once, so that the
// redraw a cut needs comes once in many points and not on every one. Returns how many
// of the oldest points to drop now that the series holds `count`; 0 without a capacity.
std::size_t PointsToDrop(std::size_t count, std::size_t capacity);

}  // namespace chart
