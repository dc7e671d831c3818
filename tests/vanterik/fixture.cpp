#include "fixture.h"

#include <filesystem>

#include "vanterik/vanterik.h"

namespace vtest {

const char STAMP[] = "Tue Mar  5 14:07:09 2024\n";
const char BANNER[] =
    "--------------------------------------------------\n"
    "VELA Linkage Postprocessor        Version 2.06-Big\n"
    "--------------------------------------------------\n\n";

std::tm fixed_time() {
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 14;
  t.tm_min = 7;
  t.tm_sec = 9;
  t.tm_wday = 2;
  t.tm_yday = 64;
  t.tm_isdst = 0;
  return t;
}

namespace {
int fixed_entry(int argc, char** argv, vt::Console& con) {
  return vanterik::vanterik_run(argc, argv, con, fixed_time);
}
}  // namespace

testkit::RunResult Workspace::run(std::vector<std::string> args, bool with_name) const {
  args.insert(args.begin(), "vanterik");
  if (with_name) args.push_back(mod);
  return testkit::run_entry(fixed_entry, args);
}

bool Workspace::exists(const std::string& path) const { return std::filesystem::exists(path); }

Bytes fill(size_t n, unsigned char b) { return Bytes(n, b); }

Bytes cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

void set(Bytes& b, size_t at, std::initializer_list<unsigned char> bytes) {
  for (unsigned char c : bytes) b.at(at++) = c;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

testkit::LinkModule small_module() {
  testkit::LinkModule m;
  testkit::LinkGroup code;
  code.type = 1;
  code.data = fill(48, 0x90);
  code.maximum = 0x1234;
  testkit::poke16(code.data, 2, 0x0000);
  testkit::poke16(code.data, 6, 0x0001);
  testkit::poke16(code.data, 16, 0x0000);
  testkit::LinkGroup data;
  data.type = 2;
  data.data = fill(48, 0x11);
  testkit::poke16(data.data, 4, 0x0001);
  m.groups = {code, data, testkit::link_group(4, 2)};
  m.fixups = {testkit::link_fixup(1, 2, 0, 2), testkit::link_fixup(1, 1, 0, 6), testkit::link_fixup(1, 2, 1, 0),
              testkit::link_fixup(2, 1, 0, 4)};
  m.header_bytes[100] = 0x42;
  return m;
}

Bytes small_expected(bool prefix, unsigned merged, const Bytes& sym) {
  Bytes h = fill(128, 0);
  set(h, 0, {0x01, static_cast<unsigned char>(3 + merged), 0x00, 0x00, 0x00, static_cast<unsigned char>(3 + merged),
             0x00, 0x34, 0x12});
  set(h, 9, {0x02, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00});
  set(h, 18, {0x04, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00});
  set(h, 81, {0xFE, 0x65, 0x00, 0x00, 0x00, 0x65, 0x00, 0x00, 0x00});  // LDT: 101 paragraphs
  h[100] = 0x42;

  Bytes ldt = fill(1616, 0);
  set(ldt, 0, {0x12, 0x00, 0x10, 0x00, 0x0C, 0x00, 0x0C, 0x00});
  set(ldt, 8 + 12 * 8, {0x2F, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00});  // 0x67: data paragraph 0
  set(ldt, 8 + 13 * 8, {0x1F, 0x00, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00});  // 0x6F: code paragraph 1
  set(ldt, 8 + 14 * 8, {0x0F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00});  // 0x77: code paragraph 0
  set(ldt, 8 + 15 * 8, {0x1F, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00});  // 0x7F: stack paragraph 0

  Bytes code = fill(48, 0x90);
  set(code, 2, {0x67, 0x00});
  set(code, 6, {0x6F, 0x00});
  set(code, 16, {0x67, 0x00});
  Bytes data = fill(48, 0x11);
  set(data, 4, {0x6F, 0x00});

  return cat({fill(prefix ? 128 : 0, 0), h, ldt, code, sym, data, fill(32, 0), text(std::string(STAMP) + "\n")});
}

}  // namespace vtest
