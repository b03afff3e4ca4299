#pragma once
// One run of the program: banner, arguments, one compilation, the verdict.
#include <string>
#include <vector>

#include "app/Console.h"

namespace orvate {

// args are the arguments after the program name; returns the exit code.
int RunDriver(const std::vector<std::string>& args, TConsole& console);

}  // namespace orvate
