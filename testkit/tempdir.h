// A temporary folder for one test, removed with everything in it.
#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testkit {

using Bytes = std::vector<unsigned char>;

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void write_file(const std::string& path, const Bytes& data);
Bytes read_file(const std::string& path);
void write_text(const std::string& path, const std::string& text);
std::string read_text(const std::string& path);

}  // namespace testkit
