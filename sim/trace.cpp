// SPDX-License-Identifier: MIT
// trace.cpp
//
// The machine's trace: lines kept in memory under a lock and echoed, as they
// come, to a stream when one is set.
#include "sim/trace.h"

#include <atomic>

namespace sim {

namespace {

std::atomic<bool> keepByDefault{false};

} // namespace

void Trace::keepLinesByDefault(bool keep)
{
    keepByDefault = keep;
}

Trace::Trace() : keep_(keepByDefault) {}

void Trace::line(const std::string& text)
{
    std::lock_guard guard(lock_);
    if (keep_)
        lines_.push_back(text);
    if (echo_ != nullptr) {
        *echo_ << text << '\n';
        echo_->flush();
    }
}

std::vector<std::string> Trace::lines() const
{
    std::lock_guard guard(lock_);
    return lines_;
}

std::vector<std::string> Trace::linesStartingWith(const std::string& prefix) const
{
    std::lock_guard guard(lock_);
    std::vector<std::string> matching;
    for (const auto& text : lines_)
        if (text.starts_with(prefix))
            matching.push_back(text);
    return matching;
}

void Trace::clear()
{
    std::lock_guard guard(lock_);
    lines_.clear();
}

void Trace::echoTo(std::ostream* stream)
{
    std::lock_guard guard(lock_);
    echo_ = stream;
}

void Trace::setKeep(bool keep)
{
    std::lock_guard guard(lock_);
    keep_ = keep;
    if (!keep_)
        lines_.clear();
}

} // namespace sim
