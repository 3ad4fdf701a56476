// velsim: runs the tuning code of velsvc or the memory actions of velmon on a
// simulated machine and prints every action they take on it, one JSON object a
// line.
//
//   velsim SCENARIO.json     velsim - < SCENARIO.json
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/velsim/runner.h"
#include "tools/velsim/scenario.h"

namespace {

constexpr int kBadScenario = 2;

bool ReadInput(const char* path, std::string& text) {
  std::ostringstream buffer;
  if (std::string(path) == "-") {
    buffer << std::cin.rdbuf();
    text = buffer.str();
    return !std::cin.bad();
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return false;
  }
  buffer << file.rdbuf();
  text = buffer.str();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velsim SCENARIO.json | velsim - < SCENARIO.json\n");
    return kBadScenario;
  }
  std::string text;
  if (!ReadInput(argv[1], text)) {
    std::fprintf(stderr, "velsim: scenario: cannot read %s\n", argv[1]);
    return kBadScenario;
  }
  velsim::Scenario scenario;
  std::string error;
  if (!velsim::ParseScenario(text, scenario, error)) {
    std::fprintf(stderr, "velsim: %s\n", error.c_str());
    return kBadScenario;
  }

  static char outputBuffer[1 << 16];
  std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
  velsim::RunScenario(scenario);
  return 0;
}
