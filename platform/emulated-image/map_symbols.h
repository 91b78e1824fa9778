// SPDX-License-Identifier: MIT
// map_symbols.h
//
// The symbols of an image from the map file its linker wrote (GNU ld's -Map
// output beside the image, zephr.sys -> zephr.map, Gaugelet.dll ->
// Gaugelet.map), for naming the routine an address lies in:
// "SmmExchange+0x1a".
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace emulated {

class MapSymbols {
  public:
    MapSymbols() = default;
    // Reads the map file; an absent or unreadable file gives no symbols.
    explicit MapSymbols(const std::filesystem::path& mapFile);

    bool empty() const
    {
        return symbols_.empty();
    }
    // The address a symbol has in the linked image (at its image base).
    std::optional<uint32_t> address(const std::string& name) const;
    // The nearest symbol at or below a linked address, as "name+0xoffset"
    // ("name" at its very address); empty when none lies below it. In a
    // static routine, which has no symbol of its own, that is the code of
    // its object file: "dispatch.cpp+0x1c4".
    std::string nearest(uint32_t linkedAddress) const;

  private:
    std::map<uint32_t, std::string> symbols_; // linked address -> readable name
    std::map<std::string, uint32_t> byName_;  // readable name -> linked address
};

// Where a symbol lies in an image linked at imageBase and placed at base.
std::optional<uint32_t> placedSymbol(const MapSymbols& symbols, const std::string& name,
                                     uint32_t base, uint32_t imageBase);

// The map file beside an image: the same path with ".map".
std::filesystem::path mapFileFor(const std::filesystem::path& image);

// "0x00014830 (SmmExchange+0x4)": an address with the nearest symbol when
// it lies in the image (placed at base, linked at imageBase, size bytes);
// "(no zephr.map beside the image)" when the image has no symbols; the bare
// address outside the image.
std::string describeImageAddress(const MapSymbols& symbols, const std::string& imageName,
                                 uint32_t address, uint32_t base, uint32_t imageBase,
                                 uint32_t size);

} // namespace emulated
