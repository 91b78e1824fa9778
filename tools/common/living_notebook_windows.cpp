// SPDX-License-Identifier: MIT
// living_notebook_windows.cpp
//
// The Windows build's living notebook is the real one: nothing to run, and
// its load is whatever the computer does.
#include "tools/common/living_notebook.h"

namespace tools {

struct LivingNotebook::State {};

LivingNotebook::LivingNotebook(std::optional<int>) {}

LivingNotebook::~LivingNotebook() = default;

bool LivingNotebook::loadAdjustable()
{
    return false;
}

void LivingNotebook::setLoad(std::optional<int>) {}

std::optional<int> LivingNotebook::load() const
{
    return std::nullopt;
}

} // namespace tools
