// Damaged index files end in "Index file %s is corrupted": a root past the end of the file, a key
// length that does not fit a page, key counts and item offsets out of range, a page that points
// at itself, a file cut short. Never a crash, a hang or an unbounded allocation.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "dbf/byte_order.h"
#include "dbf/errors.h"
#include "index/open_index.h"
#include "index_fixtures.h"
#include "index_test_table.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace dbase::testing_index {
namespace {

// Where a format keeps the fields the damages touch.
struct Layout {
  std::string extension;
  uint64_t ref_unit;        // bytes per page reference
  uint64_t root_field;      // offset of the root in the tag header
  uint64_t length_field;    // offset of the key length in the tag header
  uint64_t count_field;     // offset of the key count in a page
  int count_size;
  // Offset of the first child reference of a branch page at `page_offset`, and its byte order.
  std::function<uint64_t(const std::string& file, uint64_t page_offset, int key_length)> first_child;
  bool child_big_endian = false;
};

std::string MakeTable(const testsupport::TempDir& dir) {
  std::vector<std::string> records;
  for (int n = 1; n <= 600; ++n) {
    std::string code = "K" + std::to_string((n * 7919) % 1000);
    code.resize(10, ' ');
    records.push_back(" " + code);
  }
  const std::string path = dir.File("DAMAGE.DBF");
  testsupport::WriteFileBytes(path, testsupport::TableBytes(0x03, {{"CODE", 'C', 10}}, records));
  return path;
}

// What opening and walking the file gives: "ok" or the engine's message.
std::string Outcome(TestTable& table, const std::string& path) {
  try {
    auto file = OpenIndex(table, path);
    for (int i = 0; i < file->tag_count(); ++i) {
      IndexTag& tag = *file->tag(i);
      DumpTag(tag);
      tag.Position(-4);
      while (tag.Position(-2) != 0) {
      }
      tag.Seek("K5");
    }
  } catch (const EngineError& e) {
    return e.what();
  }
  return "ok";
}

void Patch(const std::string& path, uint64_t offset, uint64_t value, int size, bool big_endian = false) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  for (int i = 0; i < size; ++i) {
    const int shift = big_endian ? 8 * (size - 1 - i) : 8 * i;
    f.put(static_cast<char>((value >> shift) & 0xFF));
  }
}

uint64_t Read(const std::string& path, uint64_t offset, int size) {
  const std::string bytes = testsupport::ReadFileBytes(path);
  uint64_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes[offset + static_cast<uint64_t>(i)]);
  return v;
}

class IndexDamageTest : public ::testing::TestWithParam<Layout> {};

TEST_P(IndexDamageTest, DamageEndsInTheCorruptedMessage) {
  const Layout& l = GetParam();
  testsupport::TempDir dir;
  TestTable table(MakeTable(dir));
  const std::string good = dir.File("GOOD" + l.extension);
  uint64_t header = 0;
  uint64_t root = 0;
  int key_length = 0;
  {
    auto file = CreateIndex(table, good);
    IndexTag* tag = file->DefineTag(TagDefinition{"CODE", "CODE", "", false, false});
    header = tag->header_ref() * (l.extension == ".mdx" ? 512u : 1u);
    root = tag->root() * l.ref_unit;
    key_length = tag->key_length();
  }
  ASSERT_EQ(Outcome(table, good), "ok");

  const std::string path = dir.File("BAD" + l.extension);
  const std::string message = "Index file " + path + " is corrupted";
  auto damaged = [&](const std::function<void()>& damage) {
    std::filesystem::copy_file(good, path, std::filesystem::copy_options::overwrite_existing);
    damage();
    return Outcome(table, path);
  };
  EXPECT_EQ(damaged([&] { Patch(path, header + l.root_field, 0x7FFFFF00, 4); }), message) << "root past the end";
  EXPECT_EQ(damaged([&] { Patch(path, header + l.length_field, 0xFFFF, 2); }), message) << "key length";
  EXPECT_EQ(damaged([&] { Patch(path, header + l.length_field, 0, 2); }), message) << "no key length";
  EXPECT_EQ(damaged([&] { Patch(path, root + l.count_field, 0xFFFF, l.count_size); }), message) << "key count";
  EXPECT_EQ(damaged([&] {
              const uint64_t at = l.first_child(path, root, key_length);
              Patch(path, at, root / l.ref_unit, 4, l.child_big_endian);
            }),
            message)
      << "a page pointing at itself";
  EXPECT_EQ(damaged([&] { std::filesystem::resize_file(path, root + 100); }), message) << "cut short";
  if (l.extension == ".ntx") {
    EXPECT_EQ(damaged([&] { Patch(path, root + 2, 0xFFF0, 2); }), message) << "item offset";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, IndexDamageTest,
    ::testing::Values(
        Layout{".ntx", 1, 4, 14, 0, 2,
               [](const std::string& f, uint64_t page, int) { return page + Read(f, page + 2, 2); }},
        Layout{".ndx", 512, 0, 12, 0, 4, [](const std::string&, uint64_t page, int) { return page + 4; }},
        Layout{".mdx", 512, 0, 12, 0, 4, [](const std::string&, uint64_t page, int) { return page + 8; }},
        Layout{".cdx", 1, 0, 12, 2, 2,
               [](const std::string&, uint64_t page, int key_length) {
                 return page + 12 + static_cast<uint64_t>(key_length) + 4;
               },
               true}),
    [](const ::testing::TestParamInfo<Layout>& p) { return p.param.extension.substr(1); });

}  // namespace
}  // namespace dbase::testing_index
