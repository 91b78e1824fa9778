// SPDX-License-Identifier: MIT
// session.h
//
// The bring-up a tool needs before it talks to the zephr device. In the host
// build a Session installs a simulated notebook (from a machine file, or the
// built-in one) and loads the driver image into the host NT layer; at its
// end it unloads the driver and removes the machine. In the Windows build
// the real notebook and the installed driver serve, and a Session does
// nothing.
#pragma once

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

namespace tools {

struct SessionOptions {
    // The notebook to simulate; the built-in one when empty. The Windows
    // build refuses a machine file.
    std::optional<std::filesystem::path> machineFile;
    // Load the driver image (host build). Without it the device is missing,
    // as on a Windows machine where the driver was not started.
    bool loadDriver = true;
    // Run this Windows driver image (the Windows build's zephr.sys) under
    // the CPU emulator instead of the host-build driver (host build; the
    // Windows build refuses it).
    std::optional<std::filesystem::path> driverImage;
    // Where the driver image goes in the emulator (its base relocations
    // applied); its own image base when empty.
    std::optional<uint32_t> imageBase;
    // Where the simulated notebook's trace goes from the start, so the
    // driver's load messages are in it too (host build; nullptr: nowhere).
    std::ostream* trace = nullptr;
    // The steady load in percent the living notebook runs under
    // (tools::LivingNotebook, host build); nothing: a load that comes and
    // goes.
    std::optional<int> load;
};

// A file of the command line at fault: the machine file (its key named),
// or the SMBIOS dump or memory image it names. The tools exit as for a
// wrong command line.
class InputFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The ADDR of --image-base ADDR: a 32-bit address, hex with 0x or decimal;
// nothing when the text is none. Whether an image can go there is the
// loader's to say.
inline std::optional<uint32_t> parseImageBase(const std::string& text)
{
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
        return std::nullopt;
    size_t end = 0;
    unsigned long long value = 0;
    try {
        value = std::stoull(text, &end, 0);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (end != text.size() || value > 0xFFFFFFFFull)
        return std::nullopt;
    return static_cast<uint32_t>(value);
}

class Session {
  public:
    // Throws InputFileError for a machine file at fault (naming the file and
    // its key), std::runtime_error naming what else could not be brought
    // up: the driver image, or DriverEntry's status.
    explicit Session(const SessionOptions& options = {});
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Writes every hardware access and debug message of the simulated
    // notebook to a stream (nullptr: stop). Nothing to trace on Windows.
    void setTrace(std::ostream* stream);

    // True in the host build, where the notebook is simulated.
    static bool simulated();

  private:
    bool driverLoaded_ = false;
};

} // namespace tools
