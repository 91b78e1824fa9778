// SPDX-License-Identifier: MIT
// plugin_library.cpp
//
// Loading a plug-in, calling its host functions and its readers the way the
// host application does (C calling convention, texts as 8-bit C strings).
#include "tools/gaugehost/plugin_library.h"

#include "tools/gaugehost/program_environment.h"

#include <filesystem>
#include <stdexcept>

namespace gaugehost {

namespace {

template <typename Function> Function as(FARPROC address)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(address));
}

using Text = const char*;

// A reader of N parameter texts, called through its address.
Text callWith(ReaderAddress reader, void* instance, const std::vector<Text>& p)
{
    switch (p.size()) {
    case 0:
        return as<Text (*)(void*)>(reader)(instance);
    case 1:
        return as<Text (*)(void*, Text)>(reader)(instance, p[0]);
    case 2:
        return as<Text (*)(void*, Text, Text)>(reader)(instance, p[0], p[1]);
    case 3:
        return as<Text (*)(void*, Text, Text, Text)>(reader)(instance, p[0], p[1], p[2]);
    case 4:
        return as<Text (*)(void*, Text, Text, Text, Text)>(reader)(instance, p[0], p[1], p[2],
                                                                   p[3]);
    case 5:
        return as<Text (*)(void*, Text, Text, Text, Text, Text)>(reader)(instance, p[0], p[1], p[2],
                                                                         p[3], p[4]);
    case 6:
        return as<Text (*)(void*, Text, Text, Text, Text, Text, Text)>(reader)(
            instance, p[0], p[1], p[2], p[3], p[4], p[5]);
    case 7:
        return as<Text (*)(void*, Text, Text, Text, Text, Text, Text, Text)>(reader)(
            instance, p[0], p[1], p[2], p[3], p[4], p[5], p[6]);
    default:
        return as<Text (*)(void*, Text, Text, Text, Text, Text, Text, Text, Text)>(reader)(
            instance, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7]);
    }
}

} // namespace

PluginInstance::PluginInstance(const PluginLibrary& library, void* handle)
    : library_(&library), handle_(handle)
{
}

PluginInstance::PluginInstance(PluginInstance&& other) noexcept
    : library_(other.library_), handle_(other.handle_), owned_(other.owned_)
{
    other.owned_ = false;
}

PluginInstance::~PluginInstance()
{
    if (owned_)
        library_->shutdownInstance(handle_);
}

PluginLibrary::PluginLibrary(const std::string& path) : path_(path)
{
    if (!std::filesystem::exists(path))
        throw std::runtime_error("plug-in " + path + ": no such file");
    module_ = LoadLibraryA(path.c_str());
    if (module_ == nullptr)
        throw std::runtime_error("plug-in " + path + " does not load: " + lastLoaderError());
    try {
        init_ = as<decltype(init_)>(require("init"));
        getparam_ = as<decltype(getparam_)>(require("getparam"));
        dllstartup_ = as<decltype(dllstartup_)>(require("dllstartup"));
        dllshutdown_ = as<decltype(dllshutdown_)>(require("dllshutdown"));
        dlltype_ = as<decltype(dlltype_)>(require("dlltype"));
        getinfo_ = as<decltype(getinfo_)>(require("getinfo"));
    } catch (...) {
        FreeLibrary(module_);
        throw;
    }
}

PluginLibrary::~PluginLibrary()
{
    FreeLibrary(module_);
}

FARPROC PluginLibrary::require(const char* name) const
{
    FARPROC address = GetProcAddress(module_, name);
    if (address == nullptr)
        throw std::runtime_error("plug-in " + path_ + " does not export the host function " + name);
    return address;
}

std::string PluginLibrary::textOf(const char* text, const std::string& what) const
{
    if (text == nullptr)
        throw std::runtime_error("plug-in " + path_ + ": " + what +
                                 " returned a null pointer instead of a text");
    return text;
}

std::string PluginLibrary::init() const
{
    return textOf(init_(), "init");
}

std::string PluginLibrary::getparam(const std::string& reader) const
{
    return textOf(getparam_(reader.c_str()), "getparam(" + reader + ")");
}

int PluginLibrary::dlltype() const
{
    return dlltype_();
}

std::string PluginLibrary::getinfo(unsigned int index) const
{
    return textOf(getinfo_(index), "getinfo(" + std::to_string(index) + ")");
}

PluginInstance PluginLibrary::startInstance() const
{
    return PluginInstance(*this, dllstartup_(0, 0));
}

int PluginLibrary::shutdownInstance(void* instance) const
{
    return dllshutdown_(instance);
}

ReaderAddress PluginLibrary::findReader(const std::string& name) const
{
    return GetProcAddress(module_, name.c_str());
}

std::string PluginLibrary::callReader(const std::string& name, ReaderAddress reader, void* instance,
                                      const std::vector<std::string>& parameters) const
{
    if (parameters.size() > kMaxParameters)
        throw std::runtime_error("reader " + name + ": more than " +
                                 std::to_string(kMaxParameters) + " parameters");
    std::vector<Text> texts;
    for (const std::string& parameter : parameters)
        texts.push_back(parameter.c_str());
    return textOf(callWith(reader, instance, texts), name);
}

} // namespace gaugehost
