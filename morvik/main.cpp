#include <iostream>

#include "morvik/driver/morvik.h"

int main(int argc, char** argv) {
  vt::Console con{std::cin, std::cout, std::cerr};
  return morvik_main(argc, argv, con);
}
