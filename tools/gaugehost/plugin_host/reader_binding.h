// SPDX-License-Identifier: MIT
// reader_binding.h
//
// A reader as the host prepares to call it: a name that init lists, the
// parameters getparam gives it, and its export (false when the library does
// not export it). The parameter texts of a call are completed with
// getparam's defaults.
#pragma once

#include "tools/gaugehost/plugin_host/parameter_list.h"
#include "tools/gaugehost/plugin_host/plugin_library.h"

#include <string>
#include <vector>

namespace gaugehost {

struct ReaderBinding {
    std::string name;
    std::vector<Parameter> parameters;
    ReaderAddress address;
};

// Throws std::runtime_error when init does not list the name.
ReaderBinding bindReader(const PluginLibrary& library, const std::string& name);

// The given texts, then the defaults of the parameters not given. Throws
// when more texts are given than the reader has parameters.
std::vector<std::string> completeParameters(const ReaderBinding& reader,
                                            const std::vector<std::string>& given);

// Calls the reader on an instance with the given texts completed. Throws
// when the library does not export the reader or the reader returns null.
std::string callBoundReader(const PluginLibrary& library, const ReaderBinding& reader,
                            void* instance, const std::vector<std::string>& given);

} // namespace gaugehost
