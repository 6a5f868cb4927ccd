#pragma once
#include <string>

namespace xvfb {
// Why the X server could not be had; empty when tests run on it.
const std::string& SkipReason();
}  // namespace xvfb
