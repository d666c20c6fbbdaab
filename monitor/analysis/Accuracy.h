// Accuracy figures of a set of fixes against a reference, as the literature defines them:
//   horizontal error of a fix   h = sqrt(dE² + dN²)
//   mean                        of dE, dN, dU
//   σ                           population standard deviation, sqrt(Σ(x − mean)² / n):
//                               the fixes are the whole set being described, not a
//                               sample of a larger one
//   CEP50, CEP95                the 50th and 95th percentiles of h by the nearest-rank
//                               rule: the value of rank ceil(p/100 · n) among the n
//                               errors sorted ascending (always one of the errors)
//   2DRMS                       2 · sqrt(σE² + σN²)
//   largest horizontal error    max h
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "monitor/analysis/Geodesy.h"

struct AccuracyFigures {
    std::size_t count = 0;  // with 0 the other figures are 0
    double meanEast = 0, meanNorth = 0, meanUp = 0;
    double sigmaEast = 0, sigmaNorth = 0, sigmaUp = 0;
    double cep50 = 0, cep95 = 0, drms2 = 0, maxHorizontal = 0;
};

// The value of rank ceil(percent/100 · n), 1-based, in `sorted` (ascending, not empty).
double NearestRankPercentile(std::span<const double> sorted, int percent);

// One nearest-rank percentile of a growing set of values, ready after each one added:
// the smallest ceil(p/100 · n) values in a max-heap, the others in a min-heap, so that
// the percentile is the first heap's top. An addition costs a few heap steps and touches
// a few cache lines, where keeping a day of values sorted would move half of its 700 KB
// on average.
class RunningPercentile {
public:
    explicit RunningPercentile(int percent) : m_percent(percent) {}
    void Add(double value);
    double Value() const { return m_lower.empty() ? 0 : m_lower.front(); }
    void Clear();

private:
    int m_percent;
    std::vector<double> m_lower;  // max-heap
    std::vector<double> m_upper;  // min-heap
};

// Adds fixes one at a time at a small cost each: running sums for the means and σ
// (Welford's update, which keeps its precision over a day of fixes), the two running
// percentiles and the largest error, so that the figures are ready after every fix
// without sorting the day again.
class AccuracyAccumulator {
public:
    void Add(const track::Enu& offset);
    AccuracyFigures Figures() const;
    void Clear();
    std::size_t Count() const { return m_count; }

private:
    std::size_t m_count = 0;
    double m_mean[3] = {0, 0, 0};
    double m_squares[3] = {0, 0, 0};  // Σ(x − mean)², by Welford's update
    RunningPercentile m_cep50{50}, m_cep95{95};
    double m_maxHorizontal = 0;
};

AccuracyFigures ComputeAccuracy(std::span<const track::Enu> offsets);
