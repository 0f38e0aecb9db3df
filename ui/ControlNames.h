#pragma once

#include "DialogTemplate.h"

#include <QString>

#include <cstddef>
#include <optional>
#include <span>

// Where a template's control stands and what a screen reader calls it, from the template alone.

// The group box the control at `index` stands in: the smallest group box before it in template
// order whose rectangle encloses the control's; none for a control of the window itself.
[[nodiscard]] std::optional<std::size_t> EnclosingGroupBox(std::span<const ControlSpec> controls,
                                                           std::size_t index);

// The name a screen reader says for the control at `index`, in the window's words, where its
// caption alone does not tell the operator what it is; empty where it does.
[[nodiscard]] QString SpokenName(std::span<const ControlSpec> controls, std::size_t index);
