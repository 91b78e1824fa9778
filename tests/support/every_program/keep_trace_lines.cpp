// SPDX-License-Identifier: MIT
// keep_trace_lines.cpp
//
// Linked into every test program: the tests read back what their simulated
// notebooks did, so each machine a test program makes keeps its trace lines
// (the tools' machines keep none). A test that makes millions of lines turns
// keeping off for its machine.
#include "sim/trace.h"

namespace {

const bool kTraceLinesKept = (sim::Trace::keepLinesByDefault(true), true);

} // namespace
