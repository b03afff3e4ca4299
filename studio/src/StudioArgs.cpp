#include "StudioArgs.h"

namespace orvate::studio {

namespace {

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = value;
  return true;
}

ArgsResult Fail(std::string error) {
  ArgsResult result;
  result.error = std::move(error);
  return result;
}

}  // namespace

std::string StudioUsage() {
  return "usage: orvatek-studio [--port N] [--root DIR] [SCORE.mml]\n"
         "  --port N    listen on 127.0.0.1:N (1..65535, default " +
         std::to_string(kDefaultPort) +
         ")\n"
         "  --root DIR  serve the studio page from DIR (it must hold index.html)\n"
         "  SCORE.mml   the score the page starts with\n";
}

ArgsResult ParseStudioArgs(const std::vector<std::string>& args) {
  ArgsResult result;
  bool portSeen = false, rootSeen = false, optionsDone = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
      if (arg == "--") {
        optionsDone = true;
        continue;
      }
      if (arg == "-h" || arg == "--help") {
        result.options.help = true;
        continue;
      }
      // Both "--port N" and "--port=N".
      std::string name = arg, value;
      bool inlineValue = false;
      if (const auto eq = arg.find('='); eq != std::string::npos && arg.rfind("--", 0) == 0) {
        name = arg.substr(0, eq);
        value = arg.substr(eq + 1);
        inlineValue = true;
      }
      if (name != "--port" && name != "--root") return Fail("unknown option " + name);
      if (!inlineValue) {
        if (i + 1 >= args.size()) return Fail(name + " needs a value");
        value = args[++i];
      }
      if (name == "--port") {
        if (portSeen) return Fail("--port given twice");
        portSeen = true;
        if (!ParsePort(value, result.options.port)) {
          return Fail("--port wants a number from 1 to 65535, not \"" + value + "\"");
        }
      } else {
        if (rootSeen) return Fail("--root given twice");
        rootSeen = true;
        if (value.empty()) return Fail("--root needs a directory");
        result.options.root = value;
      }
      continue;
    }
    if (arg.empty()) return Fail("an empty score name");
    if (!result.options.score.empty()) return Fail("only one score can be given");
    result.options.score = arg;
  }
  result.ok = true;
  return result;
}

}  // namespace orvate::studio
