// SPDX-License-Identifier: MIT
// plugin_library.h
//
// A plug-in library as the host application sees it: loaded by path with
// LoadLibraryA, its six host functions and its readers found with
// GetProcAddress, released with FreeLibrary. Instances are RAII objects that
// call dllshutdown when they end.
#pragma once

#include <windows.h>

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

// A reader export: the instance, then its parameter texts in getparam's
// order; returns the text to show.
using ReaderAddress = FARPROC;

class PluginLibrary {
  public:
    // Loads the library (its DllMain runs with process attach) and finds the
    // six host functions. Throws std::runtime_error naming the path and what
    // is missing.
    explicit PluginLibrary(const std::string& path);
    // FreeLibrary: DllMain runs with process detach.
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

    // The reader's export, or null when the library does not export it.
    ReaderAddress findReader(const std::string& name) const;
    // Calls a reader with its parameter texts (at most kMaxParameters) and
    // gives the returned bytes. Throws when the reader returns a null pointer.
    std::string callReader(const std::string& name, ReaderAddress reader, void* instance,
                           const std::vector<std::string>& parameters) const;

    static constexpr size_t kMaxParameters = 8;

  private:
    FARPROC require(const char* name) const;
    std::string textOf(const char* text, const std::string& what) const;

    std::string path_;
    HMODULE module_ = nullptr;

    const char* (*init_)(void) = nullptr;
    const char* (*getparam_)(const char*) = nullptr;
    void* (*dllstartup_)(int, int) = nullptr;
    int (*dllshutdown_)(void*) = nullptr;
    int (*dlltype_)(void) = nullptr;
    const char* (*getinfo_)(unsigned int) = nullptr;
};

} // namespace gaugehost
