// SPDX-License-Identifier: MIT
// living_notebook.h
//
// The notebook at work while a tool watches or controls it. In the host
// build the simulated notebook's temperatures and fan speeds move with the
// system clock (the real one, or the simulated one a tool moves): before
// each SMM call the thermal model catches up with the time passed since the
// one before, so the panel, the log and fan-control all see the same
// notebook, warming under its load and cooling as the fans run faster. In
// the Windows build the notebook is real and lives by itself.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace tools {

// The load a command line may give (--load PERCENT): 0 to 100.
constexpr int kMaxLoadPercent = 100;

class LivingNotebook {
  public:
    // Brings the installed simulated notebook to life with a steady load in
    // percent, or with the load that comes and goes by itself (nothing).
    // Its present temperatures are the idle ones. Nothing in the Windows
    // build.
    explicit LivingNotebook(std::optional<int> loadPercent);
    ~LivingNotebook();
    LivingNotebook(const LivingNotebook&) = delete;
    LivingNotebook& operator=(const LivingNotebook&) = delete;

    // False in the Windows build: the load is the real notebook's.
    static bool loadAdjustable();
    void setLoad(std::optional<int> percent);
    std::optional<int> load() const;

  private:
    struct State;
    std::shared_ptr<State> state_;
};

// "50 %", or "varying" for the load that comes and goes.
inline std::string loadText(std::optional<int> percent)
{
    return percent ? std::to_string(*percent) + " %" : "varying";
}

} // namespace tools
