#include <iostream>

#include "ostrel/ostrel.h"

int main(int argc, char** argv) {
  vt::Console con{std::cin, std::cout, std::cerr};
  return ostrel_main(argc, argv, con);
}
