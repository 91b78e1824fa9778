// SPDX-License-Identifier: MIT
// value_history.cpp
//
// A value's minimum, maximum and last values, and their sparkline.
#include "tools/gaugehost/panel/value_history.h"

#include <algorithm>

namespace gaugehost {

void ValueHistory::add(double value)
{
    if (recent_.empty()) {
        minimum_ = maximum_ = value;
    } else {
        minimum_ = std::min(minimum_, value);
        maximum_ = std::max(maximum_, value);
    }
    recent_.push_back(value);
    while (recent_.size() > kept_)
        recent_.pop_front();
}

std::string sparkline(const std::deque<double>& values, size_t width)
{
    static const char* const kBlocks[] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                          "\u2585", "\u2586", "\u2587", "\u2588"};
    const size_t shown = std::min(width, values.size());
    if (shown == 0)
        return "";
    const auto first = values.end() - long(shown);
    const auto [low, high] = std::minmax_element(first, values.end());
    std::string line;
    for (auto at = first; at != values.end(); ++at) {
        size_t level = 3; // a flat line sits in the middle
        if (*high > *low)
            level = size_t((*at - *low) / (*high - *low) * 7 + 0.5);
        line += kBlocks[std::min<size_t>(level, 7)];
    }
    return line;
}

} // namespace gaugehost
