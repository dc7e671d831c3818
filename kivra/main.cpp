#include <iostream>

#include "kivra/kivra.h"

int main(int argc, char** argv) {
  vt::Console con{std::cin, std::cout, std::cerr};
  return kivra_main(argc, argv, con);
}
