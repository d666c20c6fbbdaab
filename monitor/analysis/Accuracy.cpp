#include "Accuracy.h"

#include <algorithm>
#include <cmath>

double NearestRankPercentile(std::span<const double> sorted, int percent) {
    const std::size_t n = sorted.size();
    const std::size_t rank = (static_cast<std::size_t>(percent) * n + 99) / 100;  // ceil(p·n/100)
    return sorted[std::clamp<std::size_t>(rank, 1, n) - 1];
}

void AccuracyAccumulator::Add(const track::Enu& offset) {
    ++m_count;
    const double values[3] = {offset.east, offset.north, offset.up};
    for (int i = 0; i < 3; ++i) {
        const double delta = values[i] - m_mean[i];
        m_mean[i] += delta / static_cast<double>(m_count);
        m_squares[i] += delta * (values[i] - m_mean[i]);
    }
    const double h = std::hypot(offset.east, offset.north);
    m_horizontal.insert(std::upper_bound(m_horizontal.begin(), m_horizontal.end(), h), h);
}

AccuracyFigures AccuracyAccumulator::Figures() const {
    AccuracyFigures f;
    if (m_count == 0) return f;
    const double n = static_cast<double>(m_count);
    f.count = m_count;
    f.meanEast = m_mean[0];
    f.meanNorth = m_mean[1];
    f.meanUp = m_mean[2];
    f.sigmaEast = std::sqrt(m_squares[0] / n);
    f.sigmaNorth = std::sqrt(m_squares[1] / n);
    f.sigmaUp = std::sqrt(m_squares[2] / n);
    f.cep50 = NearestRankPercentile(m_horizontal, 50);
    f.cep95 = NearestRankPercentile(m_horizontal, 95);
    f.drms2 = 2 * std::sqrt(f.sigmaEast * f.sigmaEast + f.sigmaNorth * f.sigmaNorth);
    f.maxHorizontal = m_horizontal.back();
    return f;
}

void AccuracyAccumulator::Clear() {
    m_count = 0;
    std::fill(std::begin(m_mean), std::end(m_mean), 0);
    std::fill(std::begin(m_squares), std::end(m_squares), 0);
    m_horizontal.clear();
}

AccuracyFigures ComputeAccuracy(std::span<const track::Enu> offsets) {
    AccuracyAccumulator a;
    for (const track::Enu& e : offsets) a.Add(e);
    return a.Figures();
}
