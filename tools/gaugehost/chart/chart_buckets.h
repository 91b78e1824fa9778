// SPDX-License-Identifier: MIT
// chart_buckets.h
//
// The points of a chart of a log of any length in memory bounded by the
// chart: records go into at most kMaxBuckets buckets of consecutive records;
// when they are full, neighbours merge and each bucket takes twice as many
// records. A bucket keeps, for each series, the lowest and the highest value
// in the order they came, so a spike of one record survives, and whether a
// value was missing, so the line breaks there. A log of no more records than
// buckets is drawn point by point.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace gaugehost {

class ChartBuckets {
  public:
    static constexpr size_t kMaxBuckets = 2000;

    // maxBuckets is taken even (neighbours merge in pairs), at least 2.
    explicit ChartBuckets(size_t seriesCount, size_t maxBuckets = kMaxBuckets);

    // One record: its time and a value (or nothing) for each series.
    void add(double time, const std::vector<std::optional<double>>& values);

    size_t records() const
    {
        return records_;
    }

    // The chart's times (in the records' order) and, for each series, its value at each
    // of them (nothing: the line breaks).
    struct Points {
        std::vector<double> times;
        std::vector<std::vector<std::optional<double>>> values;
    };
    Points points() const;

  private:
    struct Extreme {
        double value;
        size_t order; // the record's number
    };
    struct Cell {
        std::optional<Extreme> low, high;
        bool gap = false;
    };
    struct Bucket {
        double first = 0, last = 0; // the times of its first and last record
        size_t records = 0;
        std::vector<Cell> cells; // one per series
    };
    static void merge(Bucket& into, const Bucket& next);

    size_t seriesCount_;
    size_t maxBuckets_;
    size_t perBucket_ = 1;
    size_t records_ = 0;
    std::vector<Bucket> buckets_;
};

} // namespace gaugehost
