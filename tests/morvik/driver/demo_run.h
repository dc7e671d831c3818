// Whole MORVIK runs on a demo dump that a test changes before it is written.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "morvik/driver/morvik.h"
#include "testkit/demo.h"
#include "testkit/run.h"
#include "testkit/tempdir.h"
#include "tests/morvik/fixture.h"

namespace morvik_test {

// A demo dump in a folder of its own, changed before it is written.
struct Demo {
  // `prepare` gets the builder before the demo is built into it.
  explicit Demo(testkit::DemoSpec s = {}, const std::function<void(testkit::DumpBuilder&)>& prepare = {})
      : cfg(std::move(s)), b(cfg.variant), k(b) {
    if (prepare) prepare(b);
    d = testkit::build_demo(b, k, cfg);
  }

  // Rewrites a 16- or 32-bit field of the application's process descriptor.
  void pd16(uint32_t at, uint16_t v) { b.put_system(d.appl_pd + at, testkit::le16_bytes(v)); }
  void pd32(uint32_t at, uint32_t v) { b.put_system32(d.appl_pd + at, v); }

  // Runs MORVIK in the folder with the answers given (after the dump and
  // BSX file, which come first).
  testkit::RunResult run(std::vector<std::string> answers) {
    write_files();
    InFolder in(dir.path());
    answers.insert(answers.begin(), {"morvik", "dump.dat", "kernel.bsx"});
    return testkit::run_entry(morvik_main, answers);
  }
  // The same with the installed binary, which shows the status the shell gets.
  testkit::RunResult run_binary(const std::vector<std::string>& answers) {
    write_files();
    std::string cmd = testkit::installed("morvik") + " dump.dat kernel.bsx";
    for (const std::string& a : answers) cmd += " " + a;
    return testkit::run_binary(cmd, "", dir.path().string());
  }
  std::string file(const std::string& name) { return testkit::read_text(dir.file(name)); }

  testkit::DemoSpec cfg;
  testkit::DumpBuilder b;
  testkit::KernelBuilder k;
  testkit::DemoDump d;
  testkit::TempDir dir;

 private:
  void write_files() {
    b.write(dir.file("dump.dat"));
    b.write_bsx(dir.file("kernel.bsx"));
    testkit::write_text(dir.file("appl.sym"), testkit::demo_sym());
  }
};

}  // namespace morvik_test
