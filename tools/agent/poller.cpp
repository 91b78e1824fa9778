// SPDX-License-Identifier: MIT
// poller.cpp
//
// The agent's polling: the device opened (and opened again after it went
// away, once per interval, never in a tight loop), the model and driver
// version read once per connection, eight readings per poll, the fan
// controller's step on the poll's CPU temperature, and the snapshot the
// HTTP endpoint serves.
#include "tools/agent/poller.h"

#include "common/report_lines.h"
#include "common/zephr_ioctl.h"

#include <chrono>
#include <stdexcept>

namespace agent {

namespace {

double secondsSince1970()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

std::string profileName(const GaugeletProfile& profile)
{
    const bool swapped = profile.Sensor[GaugeletGpu] != GaugeletDefaultProfile.Sensor[GaugeletGpu];
    const bool divided = profile.FanDivisor != 1;
    if (!swapped && !divided)
        return "default";
    return std::string(swapped ? "swapped sensors" : "default sensors") +
           (divided ? ", speeds / " + std::to_string(profile.FanDivisor) : "");
}

} // namespace

// The fan controller's hardware: the temperature the poll just read (a
// request only for a sensor the poll does not read), the settings as
// requests.
class Poller::Hardware : public zephrctl::FanHardware {
  public:
    explicit Hardware(Poller& poller) : poller_(poller) {}

    std::optional<unsigned> temperature(unsigned sensor) override
    {
        for (int role = 0; role < GAUGELET_SENSOR_ROLE_COUNT; ++role)
            if (poller_.profile_.Sensor[role] == int(sensor)) {
                if (!poller_.next_.temperatures[role])
                    problem_ = "no value from sensor " + std::to_string(sensor);
                return poller_.next_.temperatures[role];
            }
        auto value = poller_.read(IOCTL_ZEPHR_GET_TEMP, uint16_t(sensor), true);
        if (!value)
            problem_ = "no value from sensor " + std::to_string(sensor);
        return value;
    }
    bool setFanState(unsigned fan, unsigned state) override
    {
        if (!poller_.connect()) {
            problem_ = "the zephr device is not open";
            return false;
        }
        ++poller_.next_.smmRequests;
        const zephrctl::Reply reply =
            poller_.device_->send(IOCTL_ZEPHR_SET_FAN_STATE, uint16_t(fan), uint16_t(state));
        if (!reply.ok || reply.word() != 0) {
            problem_ =
                reply.ok ? "the BIOS refused the setting" : zephrctl::describeStatus(reply.status);
            if (!reply.ok)
                poller_.device_.reset();
            return false;
        }
        return true;
    }
    std::string problem() const override
    {
        return problem_;
    }

  private:
    Poller& poller_;
    std::string problem_;
};

Poller::Poller(PollerOptions options, Log log)
    : options_(std::move(options)), log_(std::move(log)), hardware_(new Hardware(*this)),
      started_(secondsSince1970())
{
    if (options_.fanControl) {
        controller_ =
            std::make_unique<zephrctl::FanController>(*options_.fanControl, *hardware_, log_);
        next_.fanControl = snapshot_.fanControl = true;
    }
}

Poller::~Poller() = default;

bool Poller::connect()
{
    if (device_)
        return true;
    try {
        device_ = std::make_unique<zephrctl::DeviceClient>();
    } catch (const std::exception&) {
        return false;
    }
    identify();
    return true;
}

// The model (and so the profile) and the driver's version, once per
// connection: the driver that came back may be another one.
void Poller::identify()
{
    const zephrctl::Reply version = device_->send(IOCTL_ZEPHR_GET_VERSION);
    next_.driverVersion.clear();
    if (version.ok && version.output.size() >= ZEPHR_VERSION_LENGTH) {
        const uint32_t minor = uint32_t(version.output[4]) | uint32_t(version.output[5]) << 8 |
                               uint32_t(version.output[6]) << 16 |
                               uint32_t(version.output[7]) << 24;
        next_.driverVersion = std::to_string(version.word()) + "." + std::to_string(minor);
    }
    next_.model.clear();
    const zephrctl::Reply report = device_->send(IOCTL_ZEPHR_GET_SYSINFO);
    if (report.ok) {
        const std::string text = report.text();
        const char* value = nullptr;
        size_t length = 0;
        if (ZephrFindReportValue(text.c_str(), ZEPHR_PRODUCT_NAME_KEY, &value, &length))
            next_.model.assign(value, length);
    }
    profile_ = GaugeletProfileFor(next_.model.c_str());
    next_.profile = profileName(profile_);
}

std::optional<uint32_t> Poller::read(uint32_t code, uint16_t word, bool smm)
{
    if (!connect()) {
        ++next_.readErrors;
        return std::nullopt;
    }
    if (smm)
        ++next_.smmRequests;
    const zephrctl::Reply reply = device_->send(code, word);
    if (!reply.ok) {
        // The driver was stopped: open it again at the next poll.
        device_.reset();
        ++next_.readErrors;
        return std::nullopt;
    }
    if (reply.word() == ZEPHR_NO_VALUE) {
        ++next_.readErrors;
        return std::nullopt;
    }
    return reply.word();
}

void Poller::pollOnce()
{
    next_.up = connect();
    next_.pollTime = secondsSince1970();
    for (int role = 0; role < GAUGELET_SENSOR_ROLE_COUNT; ++role)
        next_.temperatures[role] =
            read(IOCTL_ZEPHR_GET_TEMP, uint16_t(profile_.Sensor[role]), true);
    for (uint16_t fan = 0; fan < 2; ++fan) {
        next_.fanSpeeds[fan] = read(IOCTL_ZEPHR_GET_FAN_SPEED, fan, true);
        next_.fanStates[fan] = read(IOCTL_ZEPHR_GET_FAN_STATE, fan, true);
    }
    next_.up = next_.up && device_ != nullptr;
    if (controller_) {
        controller_->step(next_.pollTime - started_);
        next_.fanStateChanges = controller_->changes();
        next_.failSafe = controller_->failSafe();
    }
    ++next_.polls;
    snapshot_ = next_;
}

void Poller::finish()
{
    if (controller_)
        controller_->leaveFansHigh(secondsSince1970() - started_);
}

} // namespace agent
