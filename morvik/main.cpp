#include <iostream>

#include "morvik/driver/morvik.h"

int main(int argc, char** argv) {
  // As with the C streams, a message on standard error does not first push
  // out what standard output holds, so a failed write to it is met where
  // MORVIK checks it.
  std::cerr.tie(nullptr);
  vt::Console con{std::cin, std::cout, std::cerr};
  return morvik_main(argc, argv, con);
}
