#include <iostream>

#include "vanterik/vanterik.h"

int main(int argc, char** argv) {
  vt::Console con{std::cin, std::cout, std::cerr};
  return vanterik_main(argc, argv, con);
}
