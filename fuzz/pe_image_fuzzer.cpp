// SPDX-License-Identifier: MIT
// pe_image_fuzzer.cpp
//
// libFuzzer target for the emulated-image loader's PE reader, seeded with
// the shipped zephr.sys and Gaugelet.dll. An input is an image file: it is
// read as a driver and as a DLL, and what is accepted is laid out at its
// own base and moved (its base relocations applied). The rules: the only
// refusal is an ImageError naming the image, a laid-out image is as large
// as the image says, every import slot it resolves lies inside it, and
// ASan and UBSan see no read or write outside the reader's buffers.
#include "platform/emulated-image/pe_image.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr uint32_t kMovedBase = 0x00800000;

[[noreturn]] void broken(const std::string& rule)
{
    std::fprintf(stderr, "pe_image_fuzzer: %s\n", rule.c_str());
    std::abort();
}

void layOutAt(const emulated::PeImage& image, uint32_t base)
{
    const auto memory = image.layOut(base, [&](const emulated::Import& import) {
        if (uint64_t(import.slot) + (image.is64() ? 8 : 4) > image.imageSize())
            broken("an import slot at " + std::to_string(import.slot) + " lies outside the image");
        return 0u;
    });
    if (memory.size() != image.imageSize())
        broken("the laid-out image has " + std::to_string(memory.size()) + " bytes, not " +
               std::to_string(image.imageSize()));
}

void readAs(const uint8_t* data, size_t size, emulated::ImageKind kind)
{
    const std::string name = "fuzzed.img";
    try {
        const emulated::PeImage image(std::vector<uint8_t>(data, data + size), name, kind);
        // The low half of a PE32+ image base above 4 GiB: a move like any other.
        const auto base = static_cast<uint32_t>(image.imageBase());
        layOutAt(image, base);
        layOutAt(image, base == kMovedBase ? kMovedBase * 2 : kMovedBase);
    } catch (const emulated::ImageError& error) {
        if (std::string(error.what()).find(name) == std::string::npos)
            broken(std::string("a refusal that does not name the image: ") + error.what());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    readAs(data, size, emulated::ImageKind::Driver);
    readAs(data, size, emulated::ImageKind::Dll);
    return 0;
}
