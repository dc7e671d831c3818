// What the fuzz targets share: a working folder of their own, the patch
// records that mutate a valid input, and one run of a program's entry.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "testkit/run.h"
#include "testkit/tempdir.h"

namespace fuzz {

using testkit::Bytes;

// The process's working folder: made once, entered (the programs write
// files such as "appargs" into the current folder), emptied after every
// input and removed when the process ends. Files named in `keep` survive
// the emptying.
class WorkDir {
 public:
  static WorkDir& get();
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  void keep(const std::string& name) { keep_.insert(name); }
  // Removes every file the last run left, except the kept ones.
  void sweep() const;
  ~WorkDir();

 private:
  WorkDir();
  std::string path_;
  std::set<std::string> keep_;
};

// A file image as pages: a base that is mostly zeros (a dump) is stored and
// written as the pages that hold something.
struct PagedImage {
  static constexpr uint32_t kPage = 0x1000;
  uint64_t size = 0;
  std::map<uint32_t, Bytes> pages;  // page number -> kPage bytes

  static PagedImage from(const Bytes& whole);
  uint8_t get(uint64_t at) const;
  void put(uint64_t at, uint8_t value);
  // Writes the image, leaving unstored pages as holes.
  void write(const std::string& path) const;
};

// The fuzzer's bytes as patch records of 8 bytes each, applied to an image:
//   byte 0      operation: bits 0-1 width and kind (0 XOR one byte, 1 set
//               one byte, 2 set a 16-bit word, 3 set a 32-bit word);
//               bit 2 absolute addressing; bit 3 truncate the file there
//   byte 1      region (one of the base's non-zero pages), or bits 16-23 of
//               an absolute offset
//   bytes 2-3   offset in the region, or bits 0-15 of an absolute offset
//   bytes 4-7   the value, little-endian
// Region addressing keeps the mutations on the structures the base holds;
// absolute addressing reaches the rest. Offsets wrap at the file's size.
constexpr size_t kRecord = 8;
void apply_patches(PagedImage& image, const uint8_t* data, size_t size);

// One run of an in-process entry; the status is what it returned.
int run(testkit::Entry entry, const std::vector<std::string>& args, const std::string& input = "");

// Writes a whole file.
void write(const std::string& path, const uint8_t* data, size_t size);

}  // namespace fuzz
