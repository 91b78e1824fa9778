// SPDX-License-Identifier: MIT
// chart_buckets.cpp
//
// Records into min/max buckets, buckets into the chart's points.
#include "tools/gaugehost/chart/chart_buckets.h"

namespace gaugehost {

ChartBuckets::ChartBuckets(size_t seriesCount, size_t maxBuckets)
    : seriesCount_(seriesCount), maxBuckets_(maxBuckets < 2 ? 2 : maxBuckets & ~size_t(1))
{
}

void ChartBuckets::merge(Bucket& into, const Bucket& next)
{
    into.last = next.last;
    into.records += next.records;
    for (size_t i = 0; i < into.cells.size(); ++i) {
        Cell& cell = into.cells[i];
        const Cell& other = next.cells[i];
        if (other.low && (!cell.low || other.low->value < cell.low->value))
            cell.low = other.low;
        if (other.high && (!cell.high || other.high->value > cell.high->value))
            cell.high = other.high;
        cell.gap = cell.gap || other.gap;
    }
}

void ChartBuckets::add(double time, const std::vector<std::optional<double>>& values)
{
    if (buckets_.empty() || buckets_.back().records == perBucket_) {
        if (buckets_.size() == maxBuckets_) {
            for (size_t i = 0; i < buckets_.size() / 2; ++i) {
                buckets_[i] = buckets_[2 * i];
                merge(buckets_[i], buckets_[2 * i + 1]);
            }
            buckets_.resize(buckets_.size() / 2);
            perBucket_ *= 2;
        }
        if (buckets_.empty() || buckets_.back().records == perBucket_) {
            Bucket& bucket = buckets_.emplace_back();
            bucket.first = time;
            bucket.cells.resize(seriesCount_);
        }
    }
    Bucket& bucket = buckets_.back();
    bucket.last = time;
    ++bucket.records;
    for (size_t i = 0; i < seriesCount_; ++i) {
        Cell& cell = bucket.cells[i];
        const std::optional<double> value = i < values.size() ? values[i] : std::nullopt;
        if (!value) {
            cell.gap = true;
            continue;
        }
        if (!cell.low || *value < cell.low->value)
            cell.low = Extreme{*value, records_};
        if (!cell.high || *value > cell.high->value)
            cell.high = Extreme{*value, records_};
    }
    ++records_;
}

ChartBuckets::Points ChartBuckets::points() const
{
    Points points;
    points.values.resize(seriesCount_);
    auto slot = [&](double time) {
        points.times.push_back(time);
        for (auto& values : points.values)
            values.emplace_back();
    };
    for (const Bucket& bucket : buckets_) {
        if (bucket.records == 1) { // a record of its own: drawn as it is
            slot(bucket.first);
            for (size_t i = 0; i < seriesCount_; ++i)
                if (const auto& low = bucket.cells[i].low)
                    points.values[i].back() = low->value;
            continue;
        }
        // The extreme that came first at the bucket's first time, the other
        // at its last; a missing value breaks the line after the bucket.
        const size_t at = points.times.size();
        slot(bucket.first);
        slot(bucket.last);
        bool gap = false;
        for (const Cell& cell : bucket.cells)
            gap = gap || cell.gap;
        if (gap)
            slot(bucket.last);
        for (size_t i = 0; i < seriesCount_; ++i) {
            const Cell& cell = bucket.cells[i];
            if (!cell.low)
                continue;
            const bool lowFirst = cell.low->order <= cell.high->order;
            points.values[i][at] = (lowFirst ? cell.low : cell.high)->value;
            points.values[i][at + 1] = (lowFirst ? cell.high : cell.low)->value;
            if (gap && !cell.gap)
                points.values[i][at + 2] = points.values[i][at + 1];
        }
    }
    return points;
}

} // namespace gaugehost
