#include <iostream>

#include "tlv/TlvTool.h"

int main(int argc, char** argv) {
  return tessaly::RunTlvTool(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
