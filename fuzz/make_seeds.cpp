// Writes the seed corpora of the fuzz targets, built from testkit's inputs:
//   make_seeds FOLDER   ->  FOLDER/<target>/<seed>
// The mutating targets' seeds are the selector byte alone (the valid input
// unchanged); the others' are the valid modules themselves.
#include <cstdio>
#include <filesystem>
#include <string>

#include "fuzz/bases.h"
#include "testkit/tempdir.h"

namespace {

void seed(const std::filesystem::path& root, const std::string& target, const std::string& name,
          const testkit::Bytes& bytes) {
  std::filesystem::create_directories(root / target);
  testkit::write_file((root / target / name).string(), bytes);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  for (int n = 0; n < fuzz::kMorvikBases; ++n) {
    const testkit::Bytes pick = {static_cast<unsigned char>(n)};
    const std::string name = (n < fuzz::kVariants ? "variant" : "demo") + std::to_string(n % fuzz::kVariants);
    seed(root, "fuzz_morvik_dump", name, pick);
    seed(root, "fuzz_morvik_bsx", name, pick);
    if (n < fuzz::kVariants) {
      seed(root, "fuzz_morvik_sym", name, pick);
      seed(root, "fuzz_morvik_cdv", name, pick);
    }
  }
  for (int n = 0; n < fuzz::kLinkModules; ++n) {
    seed(root, "fuzz_vanterik_raw", "link" + std::to_string(n), fuzz::link_module(n));
    for (int sw : {0, 1, 4})  // default switches, -n, -x -i20
      seed(root, "fuzz_vanterik_module", "link" + std::to_string(n) + "-sw" + std::to_string(sw),
           {static_cast<unsigned char>(n | sw << 2)});
  }
  seed(root, "fuzz_vanterik_module", "vanteriked-d", {static_cast<unsigned char>(3 | 5 << 2)});
  for (char env : {'T', 'C'}) {
    seed(root, "fuzz_kivra", std::string("patch") + env, fuzz::patch_module(env));
    seed(root, "fuzz_ostrel", std::string("patch") + env, fuzz::patch_module(env));
  }
  return 0;
}
