#include "fuzz/harness.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace fuzz {

WorkDir& WorkDir::get() {
  static WorkDir dir;
  return dir;
}

WorkDir::WorkDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "vt-fuzz-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot make the fuzz working folder");
  path_ = templ;
  std::filesystem::current_path(path_);
}

WorkDir::~WorkDir() {
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ec);
  std::filesystem::remove_all(path_, ec);
}

void WorkDir::sweep() const {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(path_, ec)) {
    if (keep_.count(e.path().filename().string())) continue;
    std::filesystem::remove_all(e.path(), ec);
  }
}

PagedImage PagedImage::from(const Bytes& whole) {
  PagedImage img;
  img.size = whole.size();
  for (size_t at = 0; at < whole.size(); at += kPage) {
    size_t n = std::min<size_t>(kPage, whole.size() - at);
    bool zero = true;
    for (size_t i = 0; i < n && zero; ++i) zero = whole[at + i] == 0;
    if (zero) continue;
    Bytes page(kPage, 0);
    std::memcpy(page.data(), whole.data() + at, n);
    img.pages[static_cast<uint32_t>(at / kPage)] = std::move(page);
  }
  return img;
}

uint8_t PagedImage::get(uint64_t at) const {
  auto it = pages.find(static_cast<uint32_t>(at / kPage));
  return it == pages.end() ? 0 : it->second[at % kPage];
}

void PagedImage::put(uint64_t at, uint8_t value) {
  if (at >= size) return;
  auto& page = pages[static_cast<uint32_t>(at / kPage)];
  if (page.empty()) page.assign(kPage, 0);
  page[at % kPage] = value;
}

void PagedImage::write(const std::string& path) const {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) throw std::runtime_error("cannot write " + path);
  bool ok = true;
  for (const auto& [pg, data] : pages) {
    uint64_t start = uint64_t{pg} * kPage;
    if (start >= size) continue;
    size_t n = static_cast<size_t>(std::min<uint64_t>(kPage, size - start));
    ok = ok && ::pwrite(fd, data.data(), n, static_cast<off_t>(start)) == static_cast<ssize_t>(n);
  }
  ok = ok && ::ftruncate(fd, static_cast<off_t>(size)) == 0;
  ok = ::close(fd) == 0 && ok;
  if (!ok) throw std::runtime_error("cannot write " + path);
}

void apply_patches(PagedImage& image, const uint8_t* data, size_t size) {
  if (image.size == 0) return;
  std::vector<uint32_t> regions;
  for (const auto& [pg, page] : image.pages) regions.push_back(pg);
  uint64_t cut = image.size;
  for (size_t r = 0; r + kRecord <= size; r += kRecord) {
    const uint8_t* p = data + r;
    uint8_t op = p[0];
    uint32_t low = static_cast<uint32_t>(p[2] | p[3] << 8);
    uint64_t at;
    if ((op & 4) || regions.empty())
      at = (uint64_t{p[1]} << 16 | low) % image.size;
    else
      at = (uint64_t{regions[p[1] % regions.size()]} * PagedImage::kPage + (low % PagedImage::kPage)) % image.size;
    if (op & 8) {
      cut = std::min(cut, at);
      continue;
    }
    switch (op & 3) {
      case 0: image.put(at, image.get(at) ^ p[4]); break;
      case 1: image.put(at, p[4]); break;
      case 2: for (int i = 0; i < 2; ++i) image.put(at + i, p[4 + i]); break;
      default: for (int i = 0; i < 4; ++i) image.put(at + i, p[4 + i]); break;
    }
  }
  image.size = cut;
}

int run(testkit::Entry entry, const std::vector<std::string>& args, const std::string& input) {
  return testkit::run_entry(entry, args, input).status;
}

void write(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + path);
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace fuzz
