// SPDX-License-Identifier: MIT
// plugin_image_host.cpp
//
// The emulated plug-in behind the PluginModule interface: each export found
// in the DLL's export table and called cdecl, as the host calls it, with
// numbers and texts as its 32-bit arguments; instances are the plug-in's own
// 32-bit pointers, carried as opaque handles.
#include "tools/gaugehost/plugin_host/plugin_image.h"

#include "platform/emulated-image/emulated_plugin.h"

#include <stdexcept>

namespace gaugehost {

namespace {

using emulated::Convention;
using emulated::PluginArgument;

uint32_t handleWord(void* instance)
{
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
}

class EmulatedModule : public PluginModule {
  public:
    EmulatedModule(const std::string& path, const emulated::PluginLoadOptions& options)
        : plugin_(path, options)
    {
    }

    ReaderAddress find(const std::string& name) const override
    {
        return {plugin_.exportAddress(name).value_or(0)};
    }
    std::optional<std::string> init() override
    {
        return textCall("init", {});
    }
    std::optional<std::string> getparam(const std::string& reader) override
    {
        return textCall("getparam", {reader});
    }
    void* dllstartup(int first, int second) override
    {
        const auto instance =
            numberCall("dllstartup", {static_cast<uint32_t>(first), static_cast<uint32_t>(second)});
        return reinterpret_cast<void*>(static_cast<uintptr_t>(instance));
    }
    int dllshutdown(void* instance) override
    {
        return static_cast<int>(numberCall("dllshutdown", {handleWord(instance)}));
    }
    int dlltype() override
    {
        return static_cast<int>(numberCall("dlltype", {}));
    }
    std::optional<std::string> getinfo(unsigned int index) override
    {
        return textCall("getinfo", {static_cast<uint32_t>(index)});
    }
    std::optional<std::string> callReader(ReaderAddress reader, void* instance,
                                          const std::vector<std::string>& parameters) override
    {
        std::vector<PluginArgument> arguments{handleWord(instance)};
        arguments.insert(arguments.end(), parameters.begin(), parameters.end());
        return textOf(static_cast<uint32_t>(reader.value), arguments, nameAt(reader));
    }

  private:
    // The export's name for messages.
    std::string nameAt(ReaderAddress reader) const
    {
        const auto address = static_cast<uint32_t>(reader.value);
        return plugin_.exportAt(address).value_or(plugin_.describe(address));
    }
    uint32_t address(const std::string& name) const
    {
        const auto found = plugin_.exportAddress(name);
        if (!found)
            throw std::runtime_error("plug-in " + plugin_.name() + " does not export " + name);
        return *found;
    }
    uint32_t numberCall(const std::string& name, const std::vector<PluginArgument>& arguments)
    {
        return plugin_.call(address(name), arguments, Convention::Cdecl, name).value_or(0);
    }
    std::optional<std::string> textCall(const std::string& name,
                                        const std::vector<PluginArgument>& arguments)
    {
        return textOf(address(name), arguments, name);
    }
    std::optional<std::string>
    textOf(uint32_t routine, const std::vector<PluginArgument>& arguments, const std::string& what)
    {
        const auto pointer = plugin_.call(routine, arguments, Convention::Cdecl, what);
        if (pointer && *pointer == 0)
            return std::nullopt;
        std::optional<std::string> text;
        if (pointer)
            text = plugin_.text(*pointer, what);
        if (!text)
            return "ERROR: " + plugin_.fault().value_or("the plug-in stopped");
        return text;
    }

    emulated::EmulatedPlugin plugin_;
};

} // namespace

std::unique_ptr<PluginModule> loadPluginImage(const std::string& path, std::optional<uint32_t> base)
{
    emulated::PluginLoadOptions options;
    options.base = base;
    return std::make_unique<EmulatedModule>(path, options);
}

} // namespace gaugehost
