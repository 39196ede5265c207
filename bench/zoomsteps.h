#pragma once

#include <utility>
#include <vector>

// The views an operator's wheel and drag go through: zoom in around the middle for the first
// half of the steps, then pan to the right.
inline std::vector<std::pair<double, double>> zoomPanSteps(double from, double to, int count)
{
    std::vector<std::pair<double, double>> views;
    for (int i = 0; i < count; ++i) {
        const double span = to - from;
        if (i < count / 2) {
            const double middle = (from + to) / 2;
            from = middle - span * 0.45;
            to = middle + span * 0.45;
        } else {
            from += span * 0.05;
            to += span * 0.05;
        }
        views.emplace_back(from, to);
    }
    return views;
}
