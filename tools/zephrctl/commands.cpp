// SPDX-License-Identifier: MIT
// commands.cpp
//
// What each zephrctl command sends and how it decodes the answer.
#include "tools/zephrctl/commands.h"

#include "common/report_lines.h"
#include "common/zephr_ioctl.h"
#include "tools/common/control_bytes.h"
#include "plugin/vocabulary.h"
#include "tools/common/temperature_limits.h"
#include "tools/zephrctl/hex.h"
#include "tools/zephrctl/request_codes.h"

#include <cstdio>

namespace zephrctl {

namespace {

uint16_t wordArgument(const std::string& text, const char* what)
{
    try {
        return uint16_t(parseNumber(text, what, 0xFFFF));
    } catch (const std::invalid_argument& e) {
        throw CommandError(e.what(), kExitUsage);
    }
}

// A refused request ends the command with the driver's reason.
Reply accepted(Reply reply, uint32_t code)
{
    if (!reply.ok) {
        auto known = findRequestCode(code);
        throw CommandError(std::string("the driver refused ") +
                               (known ? known->name : "the request") + ": " +
                               describeStatus(reply.status),
                           kExitRefused);
    }
    return reply;
}

const char* fanStateName(uint32_t state)
{
    return state < GAUGELET_FAN_STATE_COUNT ? GaugeletFanStateNames[state] : "unknown";
}

const char* fanStateWord(uint32_t state)
{
    return state == 0 ? "off" : state == 1 ? "slow" : state == 2 ? "high" : "";
}

std::string crlfToNewline(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

int noValue(std::ostream& out, const std::string& what, const char* why)
{
    out << what << ": no value (" << why << ")\n";
    return kExitNoValue;
}

int runVersion(const DeviceClient& device, const std::vector<std::string>&, std::ostream& out)
{
    Reply reply = accepted(device.send(IOCTL_ZEPHR_GET_VERSION), IOCTL_ZEPHR_GET_VERSION);
    uint32_t minor = reply.output.size() >= sizeof(ZEPHR_VERSION_RECORD)
                         ? uint32_t(reply.output[4]) | uint32_t(reply.output[5]) << 8 |
                               uint32_t(reply.output[6]) << 16 | uint32_t(reply.output[7]) << 24
                         : 0;
    out << "zephr driver version " << reply.word() << "." << minor << "\n";
    return kExitOk;
}

int runFanState(const DeviceClient& device, const std::vector<std::string>& args, std::ostream& out)
{
    uint16_t fan = wordArgument(args[0], "FAN");
    uint32_t state =
        accepted(device.send(IOCTL_ZEPHR_GET_FAN_STATE, fan), IOCTL_ZEPHR_GET_FAN_STATE).word();
    std::string what = "fan " + std::to_string(fan);
    if (state == ZEPHR_NO_VALUE) {
        return noValue(out, what, "the BIOS refused the call");
    }
    out << what << ": state " << state << " (" << fanStateName(state) << ")\n";
    return kExitOk;
}

// off, slow, high (any case) or 0 to 2: the states the BIOS knows.
uint16_t fanStateArgument(const std::string& text)
{
    std::string word;
    for (char c : text)
        word += char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (uint16_t state = 0; state <= ZEPHR_MAX_FAN_STATE; ++state)
        if (word == std::to_string(state) || word == fanStateWord(state))
            return state;
    throw CommandError("set-fan-state: STATE is off, slow or high (or 0 to " +
                           std::to_string(ZEPHR_MAX_FAN_STATE) + "), not '" + text + "'",
                       kExitUsage);
}

int runSetFanState(const DeviceClient& device, const std::vector<std::string>& args,
                   std::ostream& out)
{
    uint16_t fan = wordArgument(args[0], "FAN");
    uint16_t state = fanStateArgument(args[1]);
    uint32_t result =
        accepted(device.send(IOCTL_ZEPHR_SET_FAN_STATE, fan, state), IOCTL_ZEPHR_SET_FAN_STATE)
            .word();
    std::string what = "fan " + std::to_string(fan);
    if (result != 0) {
        out << what << ": the BIOS refused state " << state << "\n";
        return kExitNoValue;
    }
    out << what << ": state set to " << state << " (" << fanStateName(state) << ")\n";
    return kExitOk;
}

int runFanSpeed(const DeviceClient& device, const std::vector<std::string>& args, std::ostream& out)
{
    uint16_t fan = wordArgument(args[0], "FAN");
    uint32_t speed =
        accepted(device.send(IOCTL_ZEPHR_GET_FAN_SPEED, fan), IOCTL_ZEPHR_GET_FAN_SPEED).word();
    std::string what = "fan " + std::to_string(fan);
    if (speed == ZEPHR_NO_VALUE) {
        return noValue(out, what, "the BIOS refused the call");
    }
    out << what << ": " << speed << " rpm\n";
    return kExitOk;
}

int runTemp(const DeviceClient& device, const std::vector<std::string>& args, std::ostream& out)
{
    uint16_t sensor = wordArgument(args[0], "SENSOR");
    uint32_t temp =
        accepted(device.send(IOCTL_ZEPHR_GET_TEMP, sensor), IOCTL_ZEPHR_GET_TEMP).word();
    std::string what = "sensor " + std::to_string(sensor);
    if (temp == ZEPHR_NO_VALUE) {
        return noValue(out, what, "the BIOS refused the call");
    }
    out << what << ": " << temp
        << " \xC2\xB0"
           "C\n";
    return kExitOk;
}

int runCpuSpeed(const DeviceClient& device, const std::vector<std::string>&, std::ostream& out)
{
    std::string text =
        accepted(device.send(IOCTL_ZEPHR_GET_CPU_SPEED), IOCTL_ZEPHR_GET_CPU_SPEED).text();
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        out << "CPU speed: unknown (" << tools::escapeControlBytes(text) << ")\n";
        return kExitNoValue;
    }
    out << "CPU speed: " << text << " MHz\n";
    return kExitOk;
}

int runTextReport(const DeviceClient& device, uint32_t code, std::ostream& out)
{
    std::string text = accepted(device.send(code), code).text();
    // The report holds firmware strings: they are shown, never acted on.
    text = tools::escapeControlBytes(crlfToNewline(text), true);
    out << text;
    if (text.empty() || text.back() != '\n') {
        out << "\n";
    }
    return text.rfind("*** ", 0) == 0 ? kExitNoValue : kExitOk;
}

int runSysinfo(const DeviceClient& device, const std::vector<std::string>&, std::ostream& out)
{
    return runTextReport(device, IOCTL_ZEPHR_GET_SYSINFO, out);
}

int runAcpi(const DeviceClient& device, const std::vector<std::string>&, std::ostream& out)
{
    return runTextReport(device, IOCTL_ZEPHR_GET_ACPI_REPORT, out);
}

int runSuperIoDetect(const DeviceClient& device, const std::vector<std::string>&, std::ostream& out)
{
    uint32_t found =
        accepted(device.send(IOCTL_ZEPHR_DETECT_SUPERIO), IOCTL_ZEPHR_DETECT_SUPERIO).word();
    if (found == ZEPHR_SIO_TRUE) {
        out << "Super I/O chip found\n";
        return kExitOk;
    }
    out << "no Super I/O chip found\n";
    return kExitNoValue;
}

int runPwm(const DeviceClient& device, const std::vector<std::string>& args, std::ostream& out)
{
    uint16_t fan = wordArgument(args[0], "FAN");
    uint32_t duty = accepted(device.send(IOCTL_ZEPHR_GET_PWM, fan), IOCTL_ZEPHR_GET_PWM).word();
    std::string what = "fan " + std::to_string(fan);
    if (duty == ZEPHR_NO_VALUE) {
        return noValue(out, what, "no Super I/O chip answered");
    }
    out << what << ": duty " << duty << " of " << ZEPHR_MAX_DUTY << "\n";
    return kExitOk;
}

int runSetPwm(const DeviceClient& device, const std::vector<std::string>& args, std::ostream& out)
{
    uint16_t fan = wordArgument(args[0], "FAN");
    uint16_t duty = wordArgument(args[1], "DUTY");
    uint32_t result =
        accepted(device.send(IOCTL_ZEPHR_SET_PWM, fan, duty), IOCTL_ZEPHR_SET_PWM).word();
    std::string what = "fan " + std::to_string(fan);
    if (result != ZEPHR_SIO_TRUE) {
        out << what << ": duty " << duty
            << " not set (no Super I/O chip, or the register did not keep it)\n";
        return kExitNoValue;
    }
    out << what << ": duty set to " << duty << "\n";
    return kExitOk;
}

// Options of the raw request: --input HEX, --in-len N, --out-len N.
int runIoctl(const DeviceClient& device, const std::vector<std::string>& args, std::ostream& out)
{
    uint32_t code;
    try {
        code = parseNumber(args.at(0), "CODE", 0xFFFFFFFFu);
    } catch (const std::invalid_argument& e) {
        throw CommandError(e.what(), kExitUsage);
    }
    auto known = findRequestCode(code);
    std::vector<uint8_t> input;
    uint32_t inLength = 0;
    bool inLengthGiven = false;
    uint32_t outLength = known ? known->outputLength : ZEPHR_ANSWER_LENGTH;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (i + 1 >= args.size()) {
            throw CommandError("option " + option + " needs a value", kExitUsage);
        }
        const std::string& value = args[++i];
        try {
            if (option == "--input") {
                input = parseHexBytes(value);
            } else if (option == "--in-len") {
                inLength = parseNumber(value, "--in-len", 1u << 24);
                inLengthGiven = true;
            } else if (option == "--out-len") {
                outLength = parseNumber(value, "--out-len", 1u << 24);
            } else {
                throw CommandError("unknown option '" + option + "' for ioctl", kExitUsage);
            }
        } catch (const std::invalid_argument& e) {
            throw CommandError(option + ": " + e.what(), kExitUsage);
        }
    }
    if (!inLengthGiven) {
        inLength = uint32_t(input.size());
    }
    input.resize(inLength, 0);

    Reply reply = device.request(code, input, outLength);
    char status[16];
    std::snprintf(status, sizeof status, "0x%08x", reply.ok ? 0u : reply.status);
    out << "{\"status\": \"" << status << "\", \"information\": " << reply.information
        << ", \"output\": \"" << formatHexBytes(reply.output) << "\"}\n";
    return reply.ok ? kExitOk : kExitRefused;
}

// The notebook at a glance: what the driver reads of it.
int runSummary(const DeviceClient& device, const std::vector<std::string>&, std::ostream& out)
{
    Reply report = device.send(IOCTL_ZEPHR_GET_SYSINFO);
    std::string model;
    const char* name = nullptr;
    size_t length = 0;
    if (report.ok) {
        std::string text = report.text();
        if (ZephrFindReportValue(text.c_str(), ZEPHR_PRODUCT_NAME_KEY, &name, &length)) {
            model.assign(name, length);
        }
    }
    out << "Notebook: " << (model.empty() ? "unknown model" : tools::escapeControlBytes(model))
        << "\n";
    int status = runVersion(device, {}, out);
    runCpuSpeed(device, {}, out);
    // Each sensor by what the plug-in's profile for this model reads from
    // it, with the limits the panel shows (marked as the panel marks them).
    const GaugeletProfile profile = GaugeletProfileFor(model.c_str());
    const std::pair<const char*, int> sensors[] = {{"CPU", profile.Sensor[GaugeletCpu]},
                                                   {"GPU", profile.Sensor[GaugeletGpu]},
                                                   {"memory", profile.Sensor[GaugeletDimm]},
                                                   {"other", profile.Sensor[GaugeletOther]}};
    const std::string degrees = " \xC2\xB0"
                                "C";
    const std::string limits = "(warn " + std::to_string(tools::kDefaultWarnCelsius) + degrees +
                               ", critical " + std::to_string(tools::kDefaultCriticalCelsius) +
                               degrees + ")";
    for (const auto& [label, sensor] : sensors) {
        out << label << " temperature (sensor " << sensor << "): ";
        const Reply reply = device.send(IOCTL_ZEPHR_GET_TEMP, uint16_t(sensor));
        const uint32_t temp = reply.ok ? reply.word() : ZEPHR_NO_VALUE;
        if (temp == ZEPHR_NO_VALUE) {
            out << "no value " << limits << "\n";
            continue;
        }
        const char* mark = temp >= uint32_t(tools::kDefaultCriticalCelsius) ? " !!"
                           : temp >= uint32_t(tools::kDefaultWarnCelsius)   ? " !"
                                                                            : "";
        out << temp << degrees << mark << " " << limits << "\n";
    }
    for (uint16_t fan = 0; fan < 2; ++fan) {
        const Reply state = device.send(IOCTL_ZEPHR_GET_FAN_STATE, fan);
        const Reply speed = device.send(IOCTL_ZEPHR_GET_FAN_SPEED, fan);
        const uint32_t stateWord = state.ok ? state.word() : ZEPHR_NO_VALUE;
        const uint32_t speedWord = speed.ok ? speed.word() : ZEPHR_NO_VALUE;
        out << "fan " << fan << ": "
            << (stateWord == ZEPHR_NO_VALUE ? "state unknown" : fanStateName(stateWord)) << ", "
            << (speedWord == ZEPHR_NO_VALUE ? std::string("speed unknown")
                                            : std::to_string(speedWord) + " rpm")
            << "\n";
    }
    return status;
}

} // namespace

const std::vector<Command>& commands()
{
    // The bounds the driver applies, in the commands' help.
    static const std::string kDutyRange = "(0 to " + std::to_string(ZEPHR_MAX_DUTY) + ")";
    static const std::string kPwm = "a fan's Super I/O duty " + kDutyRange;
    static const std::string kSetPwm = "set a fan's Super I/O duty " + kDutyRange;
    static const std::vector<Command> kCommands = {
        {"version", "", "the driver's version", 0, runVersion},
        {"fan-state", "FAN", "a fan's state (0 Off, 1 Slow, 2 High)", 1, runFanState},
        {"set-fan-state", "FAN off|slow|high", "set a fan's state through the BIOS (or 0 to 2)", 2,
         runSetFanState},
        {"fan-speed", "FAN", "a fan's speed in rpm", 1, runFanSpeed},
        {"temp", "SENSOR", "a temperature sensor in degrees Celsius", 1, runTemp},
        {"cpu-speed", "", "the processor's current speed from SMBIOS", 0, runCpuSpeed},
        {"sysinfo", "", "the system information report", 0, runSysinfo},
        {"acpi", "", "the ACPI report", 0, runAcpi},
        {"superio-detect", "", "look for the Super I/O chip", 0, runSuperIoDetect},
        {"pwm", "FAN", kPwm.c_str(), 1, runPwm},
        {"set-pwm", "FAN DUTY", kSetPwm.c_str(), 2, runSetPwm},
        {"ioctl", "CODE [--input HEX] [--in-len N] [--out-len N]",
         "send one raw request and print it as JSON", SIZE_MAX, runIoctl},
        {"summary", "",
         "model, version, CPU speed, temperatures by the model's profile with "
         "their limits, fans",
         0, runSummary},
    };
    return kCommands;
}

const Command* findCommand(const std::string& name)
{
    for (const Command& command : commands()) {
        if (name == command.name) {
            return &command;
        }
    }
    return nullptr;
}

} // namespace zephrctl
