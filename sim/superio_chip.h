// SPDX-License-Identifier: MIT
// superio_chip.h
//
// The Super I/O chip of the simulated notebook: a device on the port bus with
// a configuration index/data pair at 0x2E or 0x4E (configuration mode entered
// with the key 0x55, left with 0xAA), global registers 0x07 (logical device),
// 0x20 (device ID) and 0x21 (revision), logical device 9 holding the runtime
// block's base in registers 0x60 and 0x61, and the runtime index/data pair at
// that base with the fan duty registers behind it. It can misbehave on
// purpose (a configuration port that echoes every write, a duty register
// stuck at one value), and it counts interleaved accesses: an index written
// while an earlier index still waits for its data access, which is what two
// unserialized register sequences do to each other.
#pragma once

#include "sim/machine.h"

#include <cstdint>
#include <map>
#include <mutex>

namespace sim {

struct SuperIoSettings {
    uint16_t configPort = 0x2E; // the index port; the data port is one above
    uint8_t deviceId = 0x0E;    // configuration register 0x20
    uint8_t revision = 0x01;    // configuration register 0x21
    // What the data port reads outside configuration mode.
    uint8_t restingValue = 0xFF;
    // Logical device 9's base (registers 0x60, 0x61). 0: the block is off and
    // the chip decodes no runtime ports.
    uint16_t runtimeBase = 0x0680;
    // Runtime registers and their contents (duty registers 0x92, 0x93, 0x95).
    std::map<uint8_t, uint8_t> runtimeRegisters{{0x92, 0x80}, {0x93, 0x80}, {0x95, 0x80}};
    // Fault: the configuration port reads back whatever was last written to
    // it, in configuration mode or not (so 0xAA reads back after the exit key).
    bool echo = false;
    // Fault: runtime registers that read one value whatever is written.
    std::map<uint8_t, uint8_t> stuckRegisters;
};

class SuperIoChip : public PortDevice {
  public:
    static constexpr uint8_t kEnterKey = 0x55;
    static constexpr uint8_t kExitKey = 0xAA;
    static constexpr uint8_t kRuntimeDevice = 9;

    // Throws std::invalid_argument for a configuration port other than 0x2E
    // or 0x4E, or a runtime block that would overlap it or wrap past 0xFFFF.
    explicit SuperIoChip(SuperIoSettings settings);

    bool claims(uint16_t port) const override;
    uint8_t in(uint16_t port) override;
    void out(uint16_t port, uint8_t value) override;

    // What the chip holds now, for tests.
    bool inConfigurationMode() const;
    uint8_t logicalDevice() const;
    uint16_t runtimeBase() const; // as logical device 9's registers give it now
    uint8_t runtimeRegister(uint8_t index) const;
    // Index writes that came while an earlier index of the same pair still
    // waited for its data access, on the configuration pair and the runtime
    // pair together.
    uint64_t interleavedAccesses() const;

  private:
    // One index/data pair: the index last written and whether its data
    // access is still to come.
    struct IndexLatch {
        uint8_t index = 0;
        bool pending = false;
    };

    void writeConfigIndex(uint8_t value);
    uint8_t readConfigIndex() const;
    uint8_t readConfigData();
    void writeConfigData(uint8_t value);
    uint8_t readRuntimeData();
    void writeRuntimeData(uint8_t value);
    void noteIndexWrite(IndexLatch& latch);
    uint8_t& deviceRegister(uint8_t device, uint8_t index);
    uint16_t currentRuntimeBase() const;
    bool decodesRuntime(uint16_t port) const;

    mutable std::mutex lock_;
    const SuperIoSettings settings_;
    bool configMode_ = false;
    uint8_t lastConfigWrite_ = 0xFF;
    uint8_t logicalDevice_ = 0;
    IndexLatch config_;
    IndexLatch runtime_;
    // Per logical device registers 0x30 and above, keyed device * 256 + index.
    std::map<uint16_t, uint8_t> deviceRegisters_;
    std::map<uint8_t, uint8_t> runtimeRegisters_;
    uint64_t interleaved_ = 0;
};

} // namespace sim
