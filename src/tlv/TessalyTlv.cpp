#include <iostream>

#include "platform/ToolOutput.h"
#include "tlv/TlvTool.h"

int main(int argc, char** argv) {
  const int status =
      tessaly::RunTlvTool(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
  constexpr int kOutputLost = 2;  // as for bad usage: no verdict on the input could be given
  return tessaly::OutputWritten(std::cout, "tessaly-tlv", std::cerr) ? status : kOutputLost;
}
