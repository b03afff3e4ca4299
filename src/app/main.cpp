#include <exception>
#include <string>
#include <vector>

#include "app/Console.h"
#include "app/Driver.h"

int main(int argc, char** argv) {
  orvate::TConsole console(nullptr, orvate::TConsole::ModeForTerminal());
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return orvate::RunDriver(args, console);
  } catch (const std::exception& e) {
    // Only exhaustion of memory gets here; say so and fail.
    console.Line(e.what());
    return 1;
  }
}
