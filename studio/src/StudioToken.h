#pragma once
// The secret that every /api request carries: the page learns it from the address the
// server prints, a page of another site cannot.
#include <string>
#include <string_view>

namespace orvate::studio {

// 32 hex digits from the kernel's random source.
std::string MakeToken();

// Compares without an early exit, so that timing tells nothing about how much matched.
bool TokensEqual(std::string_view expected, std::string_view given);

}  // namespace orvate::studio
