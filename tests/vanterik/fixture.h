// Shared fixture of the VANTERIK suites: a module in a temporary folder, a
// run on a fixed clock, and the small module whose output is written out by
// hand.
#pragma once
#include <ctime>
#include <initializer_list>
#include <string>
#include <vector>

#include "testkit/linkmodule.h"
#include "testkit/run.h"
#include "testkit/tempdir.h"

namespace vtest {

using testkit::Bytes;

// Tue Mar  5 14:07:09 2024, no daylight saving time.
std::tm fixed_time();
extern const char STAMP[];   // its asctime text
extern const char BANNER[];

struct Workspace {
  testkit::TempDir dir;
  std::string mod = dir.file("APP.286");
  std::string sym = dir.file("APP.SYM");
  std::string pst = dir.file("APP.PST");
  // Runs VANTERIK on `args` followed by the module name.
  testkit::RunResult run(std::vector<std::string> args, bool with_name = true) const;
  bool exists(const std::string& path) const;
};

// Code (3 paragraphs), data (3) and stack (2); four fixups, two of them
// repeating a paragraph value already seen.
testkit::LinkModule small_module();
// Its vanteriked form, byte by byte: header (with the code group's length
// and minimum raised by `merged` paragraphs), LDT, code, `sym`, data, stack,
// time stamp.
Bytes small_expected(bool prefix = false, unsigned merged = 0, const Bytes& sym = {});

Bytes fill(size_t n, unsigned char b);
Bytes cat(std::initializer_list<Bytes> parts);
void set(Bytes& b, size_t at, std::initializer_list<unsigned char> bytes);
Bytes text(const std::string& s);

}  // namespace vtest
