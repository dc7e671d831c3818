// The dump image reads each page of the dump once while it stays in its
// small cache, and counts its reads.
#include <gtest/gtest.h>

#include <string>

#include "morvik/state/dumpimage.h"
#include "testkit/tempdir.h"

using morvik::DumpImage;

TEST(DumpImage, PagesAreReadOnceAndCounted) {
  testkit::TempDir dir;
  testkit::Bytes bytes(3 * DumpImage::kPage + 100);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
  testkit::write_file(dir.file("d.dat"), bytes);
  DumpImage d;
  ASSERT_TRUE(d.open(dir.file("d.dat")));
  unsigned char buf[200];
  // A read across a page boundary, then reads inside those pages.
  ASSERT_EQ(d.read_at(DumpImage::kPage - 50, buf, 100), 100u);
  EXPECT_EQ(buf[0], bytes[DumpImage::kPage - 50]);
  EXPECT_EQ(buf[99], bytes[DumpImage::kPage + 49]);
  EXPECT_EQ(d.file_reads(), 2u);
  d.seek(10);
  ASSERT_EQ(d.read(buf, 4), 4u);
  EXPECT_EQ(d.tell(), 14u);
  EXPECT_EQ(d.file_reads(), 2u);
  // The short last page: a read there gets what the file holds.
  EXPECT_EQ(d.read_at(3 * DumpImage::kPage + 90, buf, 50), 10u);
  EXPECT_EQ(buf[9], bytes.back());
  EXPECT_EQ(d.read_at(bytes.size() + 5000, buf, 10), 0u);
  EXPECT_EQ(d.read_at(morvik::kNoDumpOffset, buf, 10), 0u);
  d.seek(3 * DumpImage::kPage + 96);
  EXPECT_EQ(d.read_items(buf, 2, 4), 2u);  // 4 bytes left: two whole items
  EXPECT_EQ(d.file_reads(), 3u);
  EXPECT_EQ(d.pages_read_again(), 0u);
}

TEST(DumpImage, TheCacheStaysBounded) {
  testkit::TempDir dir;
  const size_t pages = DumpImage::kCachePages + 10;
  testkit::Bytes bytes(pages * DumpImage::kPage, 0x5A);
  testkit::write_file(dir.file("d.dat"), bytes);
  DumpImage d;
  ASSERT_TRUE(d.open(dir.file("d.dat")));
  unsigned char b;
  for (size_t p = 0; p < pages; ++p) d.read_at(p * DumpImage::kPage, &b, 1);
  // The first pages were let go for the last ones: they are read again.
  d.read_at(0, &b, 1);
  EXPECT_EQ(d.file_reads(), pages + 1);
  EXPECT_EQ(d.pages_read_again(), 1u);
  // The most recent pages are still held.
  d.read_at((pages - 1) * DumpImage::kPage, &b, 1);
  EXPECT_EQ(d.file_reads(), pages + 1);
}
