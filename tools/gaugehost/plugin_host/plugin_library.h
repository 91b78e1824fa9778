// SPDX-License-Identifier: MIT
// plugin_library.h
//
// A plug-in library as the host application sees it: loaded, its six host
// functions and its readers found by name, called with the C calling
// convention and texts, released at the end. Behind it is a PluginModule:
// the library loaded natively with LoadLibraryA and GetProcAddress, or (host
// build) the Windows DLL under the CPU emulator (plugin_image.h). Instances
// are RAII objects that call dllshutdown when they end.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gaugehost {

class PluginLibrary;

// One instance made by dllstartup; freed by dllshutdown when it ends.
class PluginInstance {
  public:
    PluginInstance(const PluginLibrary& library, void* handle);
    ~PluginInstance();
    PluginInstance(PluginInstance&& other) noexcept;
    PluginInstance& operator=(PluginInstance&&) = delete;
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;

    // What dllstartup returned (null when it could not make an instance;
    // the host passes that back to the reader all the same).
    void* handle() const
    {
        return handle_;
    }

  private:
    const PluginLibrary* library_;
    void* handle_;
    bool owned_ = true;
};

// Where a module keeps one of its exports (its meaning is the module's);
// false when the library does not export the name.
struct ReaderAddress {
    uintptr_t value = 0;
    explicit operator bool() const
    {
        return value != 0;
    }
};

// A loaded library's exports, called as the host calls them. A text
// function gives none for a null pointer.
class PluginModule {
  public:
    virtual ~PluginModule() = default;
    virtual ReaderAddress find(const std::string& name) const = 0;
    virtual std::optional<std::string> init() = 0;
    virtual std::optional<std::string> getparam(const std::string& reader) = 0;
    virtual void* dllstartup(int first, int second) = 0;
    virtual int dllshutdown(void* instance) = 0;
    virtual int dlltype() = 0;
    virtual std::optional<std::string> getinfo(unsigned int index) = 0;
    // A reader with its parameter texts (at most PluginLibrary::kMaxParameters).
    virtual std::optional<std::string> callReader(ReaderAddress reader, void* instance,
                                                  const std::vector<std::string>& parameters) = 0;
};

// Loads a library natively: LoadLibraryA (its DllMain runs with process
// attach), FreeLibrary when the module ends (process detach). Throws
// std::runtime_error naming the path and the loader's reason.
std::unique_ptr<PluginModule> loadNativePlugin(const std::string& path);

class PluginLibrary {
  public:
    // Loads the library natively and finds the six host functions. Throws
    // std::runtime_error naming the path and what is missing.
    explicit PluginLibrary(const std::string& path);
    // The same over a module loaded otherwise; path names it in messages.
    PluginLibrary(std::string path, std::unique_ptr<PluginModule> module);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& path() const
    {
        return path_;
    }

    std::string init() const;
    std::string getparam(const std::string& reader) const;
    int dlltype() const;
    std::string getinfo(unsigned int index) const;
    PluginInstance startInstance() const;
    int shutdownInstance(void* instance) const;

    // The reader's export, or a false address when the library does not
    // export it.
    ReaderAddress findReader(const std::string& name) const;
    // Calls a reader with its parameter texts (at most kMaxParameters) and
    // gives the returned bytes. Throws when the reader returns a null pointer.
    std::string callReader(const std::string& name, ReaderAddress reader, void* instance,
                           const std::vector<std::string>& parameters) const;

    static constexpr size_t kMaxParameters = 8;

  private:
    void requireHostFunctions() const;
    std::string textOf(const std::optional<std::string>& text, const std::string& what) const;

    std::string path_;
    std::unique_ptr<PluginModule> module_;
};

} // namespace gaugehost
