// SPDX-License-Identifier: MIT
// trace.h
//
// The log of a simulated machine: one line per hardware access and debug
// message ("smi ...", "in ...", "out ...", "map ...", "unmap ...",
// "dbg Zephr: ..."), kept in memory for tests and, when a stream is set,
// written there as it happens (zephrctl --trace writes it to standard error).
#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace sim {

class Trace {
  public:
    void line(const std::string& text);
    // Every line so far, in order.
    std::vector<std::string> lines() const;
    // Lines that begin with a prefix ("smi", "out 0x0084", ...).
    std::vector<std::string> linesStartingWith(const std::string& prefix) const;
    void clear();
    // Echo each new line to a stream (nullptr: keep them in memory only).
    void echoTo(std::ostream* stream);
    // Stop keeping lines in memory (a long-running panel); echo still works.
    void setKeep(bool keep);

  private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    std::ostream* echo_ = nullptr;
    bool keep_ = true;
};

} // namespace sim
