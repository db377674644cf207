#include <iostream>

#include "atr/AtrTool.h"

int main(int argc, char** argv) {
  return tessaly::RunAtrTool(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
