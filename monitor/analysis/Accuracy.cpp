#include "monitor/analysis/Accuracy.h"

#include <algorithm>
#include <cmath>
#include <functional>

double NearestRankPercentile(std::span<const double> sorted, int percent) {
    const std::size_t n = sorted.size();
    const std::size_t rank = (static_cast<std::size_t>(percent) * n + 99) / 100;  // ceil(p·n/100)
    return sorted[std::clamp<std::size_t>(rank, 1, n) - 1];
}

void RunningPercentile::Add(double value) {
    const auto pushLower = [this](double v) {
        m_lower.push_back(v);
        std::push_heap(m_lower.begin(), m_lower.end());
    };
    const auto pushUpper = [this](double v) {
        m_upper.push_back(v);
        std::push_heap(m_upper.begin(), m_upper.end(), std::greater<>());
    };
    if (!m_lower.empty() && value <= m_lower.front()) pushLower(value);
    else pushUpper(value);
    const std::size_t n = m_lower.size() + m_upper.size();
    const std::size_t rank = std::max<std::size_t>(1, (static_cast<std::size_t>(m_percent) * n + 99) / 100);
    while (m_lower.size() > rank) {
        std::pop_heap(m_lower.begin(), m_lower.end());
        pushUpper(m_lower.back());
        m_lower.pop_back();
    }
    while (m_lower.size() < rank) {
        std::pop_heap(m_upper.begin(), m_upper.end(), std::greater<>());
        pushLower(m_upper.back());
        m_upper.pop_back();
    }
}

void RunningPercentile::Clear() {
    m_lower.clear();
    m_upper.clear();
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
    m_cep50.Add(h);
    m_cep95.Add(h);
    m_maxHorizontal = std::max(m_maxHorizontal, h);
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
    f.cep50 = m_cep50.Value();
    f.cep95 = m_cep95.Value();
    f.drms2 = 2 * std::sqrt(f.sigmaEast * f.sigmaEast + f.sigmaNorth * f.sigmaNorth);
    f.maxHorizontal = m_maxHorizontal;
    return f;
}

void AccuracyAccumulator::Clear() {
    m_count = 0;
    std::fill(std::begin(m_mean), std::end(m_mean), 0);
    std::fill(std::begin(m_squares), std::end(m_squares), 0);
    m_cep50.Clear();
    m_cep95.Clear();
    m_maxHorizontal = 0;
}

AccuracyFigures ComputeAccuracy(std::span<const track::Enu> offsets) {
    AccuracyAccumulator a;
    for (const track::Enu& e : offsets) a.Add(e);
    return a.Figures();
}
