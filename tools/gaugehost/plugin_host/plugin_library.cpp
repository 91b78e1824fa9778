// SPDX-License-Identifier: MIT
// plugin_library.cpp
//
// The host's side of a plug-in: its host functions required at load, texts
// that must not be null, instances; and the native module, which loads the
// library with LoadLibraryA and calls its exports through their addresses
// (C calling convention, texts as 8-bit C strings).
#include "tools/gaugehost/plugin_host/plugin_library.h"

#include "tools/gaugehost/plugin_host/program_environment.h"

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace gaugehost {

namespace {

template <typename Function> Function as(ReaderAddress address)
{
    return reinterpret_cast<Function>(address.value);
}

using Text = const char*;

std::optional<std::string> textOrNone(Text text)
{
    if (text == nullptr)
        return std::nullopt;
    return std::string(text);
}

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

class NativeModule : public PluginModule {
  public:
    explicit NativeModule(const std::string& path) : module_(LoadLibraryA(path.c_str()))
    {
        if (module_ == nullptr)
            throw std::runtime_error("plug-in " + path + " does not load: " + lastLoaderError());
    }
    ~NativeModule() override
    {
        FreeLibrary(module_);
    }
    NativeModule(const NativeModule&) = delete;
    NativeModule& operator=(const NativeModule&) = delete;

    ReaderAddress find(const std::string& name) const override
    {
        return {reinterpret_cast<uintptr_t>(GetProcAddress(module_, name.c_str()))};
    }
    std::optional<std::string> init() override
    {
        return textOrNone(as<Text (*)()>(find("init"))());
    }
    std::optional<std::string> getparam(const std::string& reader) override
    {
        return textOrNone(as<Text (*)(Text)>(find("getparam"))(reader.c_str()));
    }
    void* dllstartup(int first, int second) override
    {
        return as<void* (*)(int, int)>(find("dllstartup"))(first, second);
    }
    int dllshutdown(void* instance) override
    {
        return as<int (*)(void*)>(find("dllshutdown"))(instance);
    }
    int dlltype() override
    {
        return as<int (*)()>(find("dlltype"))();
    }
    std::optional<std::string> getinfo(unsigned int index) override
    {
        return textOrNone(as<Text (*)(unsigned int)>(find("getinfo"))(index));
    }
    std::optional<std::string> callReader(ReaderAddress reader, void* instance,
                                          const std::vector<std::string>& parameters) override
    {
        std::vector<Text> texts;
        for (const std::string& parameter : parameters)
            texts.push_back(parameter.c_str());
        return textOrNone(callWith(reader, instance, texts));
    }

  private:
    HMODULE module_;
};

constexpr const char* kHostFunctions[] = {"init",        "getparam", "dllstartup",
                                          "dllshutdown", "dlltype",  "getinfo"};

#if defined(_WIN64)
// The machine field of a PE file's header, or 0 where the file is no PE
// image (then LoadLibraryA gives its own answer).
uint16_t peMachine(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    auto word = [&](std::streamoff at, int bytes) {
        unsigned char raw[4] = {};
        file.seekg(at);
        file.read(reinterpret_cast<char*>(raw), bytes);
        uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i)
            value = (value << 8) | raw[i];
        return file ? value : 0u;
    };
    if (word(0, 2) != 0x5A4D) // "MZ"
        return 0;
    uint32_t header = word(0x3C, 4);
    if (word(header, 4) != 0x00004550) // "PE\0\0"
        return 0;
    return static_cast<uint16_t>(word(header + 4, 2));
}
#endif

} // namespace

std::unique_ptr<PluginModule> loadNativePlugin(const std::string& path)
{
    if (!std::filesystem::exists(path))
        throw std::runtime_error("plug-in " + path + ": no such file");
#if defined(_WIN64)
    // Windows would refuse a 32-bit library with ERROR_BAD_EXE_FORMAT; the
    // plug-in is 32-bit as its host application is, so say what that means.
    if (peMachine(path) == IMAGE_FILE_MACHINE_I386)
        throw std::runtime_error("plug-in " + path +
                                 " is a 32-bit DLL: this 64-bit gaugehost.exe cannot load it; use "
                                 "the 32-bit gaugehost.exe of the package's x86 folder");
#endif
    return std::make_unique<NativeModule>(path);
}

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

PluginLibrary::PluginLibrary(const std::string& path) : PluginLibrary(path, loadNativePlugin(path))
{
}

PluginLibrary::PluginLibrary(std::string path, std::unique_ptr<PluginModule> module)
    : path_(std::move(path)), module_(std::move(module))
{
    requireHostFunctions();
}

PluginLibrary::~PluginLibrary() = default;

void PluginLibrary::requireHostFunctions() const
{
    for (const char* name : kHostFunctions)
        if (!module_->find(name))
            throw std::runtime_error("plug-in " + path_ + " does not export the host function " +
                                     name);
}

std::string PluginLibrary::textOf(const std::optional<std::string>& text,
                                  const std::string& what) const
{
    if (!text)
        throw std::runtime_error("plug-in " + path_ + ": " + what +
                                 " returned a null pointer instead of a text");
    return *text;
}

std::string PluginLibrary::init() const
{
    return textOf(module_->init(), "init");
}

std::string PluginLibrary::getparam(const std::string& reader) const
{
    return textOf(module_->getparam(reader), "getparam(" + reader + ")");
}

int PluginLibrary::dlltype() const
{
    return module_->dlltype();
}

std::string PluginLibrary::getinfo(unsigned int index) const
{
    return textOf(module_->getinfo(index), "getinfo(" + std::to_string(index) + ")");
}

PluginInstance PluginLibrary::startInstance() const
{
    return PluginInstance(*this, module_->dllstartup(0, 0));
}

int PluginLibrary::shutdownInstance(void* instance) const
{
    return module_->dllshutdown(instance);
}

ReaderAddress PluginLibrary::findReader(const std::string& name) const
{
    return module_->find(name);
}

std::string PluginLibrary::callReader(const std::string& name, ReaderAddress reader, void* instance,
                                      const std::vector<std::string>& parameters) const
{
    if (parameters.size() > kMaxParameters)
        throw std::runtime_error("reader " + name + ": more than " +
                                 std::to_string(kMaxParameters) + " parameters");
    return textOf(module_->callReader(reader, instance, parameters), name);
}

} // namespace gaugehost
