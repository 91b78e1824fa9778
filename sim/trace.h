// SPDX-License-Identifier: MIT
// trace.h
//
// The log of a simulated machine: one line per hardware access and debug
// message ("smi ...", "in ...", "out ...", "map ...", "unmap ...",
// "dbg Zephr: ..."), written as it happens to a stream when one is set
// (zephrctl --trace writes it to standard error) and kept in memory only
// when asked: a program that runs for days keeps none, a test that reads
// the lines back asks for them.
#pragma once

#include <cstddef>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

namespace sim {

class Trace {
  public:
    // Whether traces made from now on keep their lines (false at start; the
    // test programs, which read them back, turn it on).
    static void keepLinesByDefault(bool keep);

    Trace();
    void line(const std::string& text);
    // Every line so far, in order.
    std::vector<std::string> lines() const;
    // Lines that begin with a prefix ("smi", "out 0x0084", ...).
    std::vector<std::string> linesStartingWith(const std::string& prefix) const;
    void clear();
    // Echo each new line to a stream (nullptr: no echo).
    void echoTo(std::ostream* stream);
    // Keep lines in memory from now on, or stop and drop them; echo works either way.
    void setKeep(bool keep);

  private:
    mutable std::mutex lock_;
    std::vector<std::string> lines_;
    std::ostream* echo_ = nullptr;
    bool keep_;
};

} // namespace sim
