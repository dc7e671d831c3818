#include "testkit/demo_vars.h"

#include <ctime>
#include <string>

#include "testkit/stackbuilder.h"
#include "testkit/symdump.h"

namespace testkit {

namespace {

Bytes basic_string(const std::string& text) {
  Bytes s = le16_bytes(static_cast<uint16_t>(text.size()));
  s.insert(s.end(), text.begin(), text.end());
  return s;
}

}  // namespace

void demo_vars_sym(SymFile& f) {
  f.variable(0x0014, "SALE.ACTIVE%")
      .variable(0x0016, "LAST.ERROR%")
      .variable(0x0018, "PRICES")
      .variable(0x001C, "CUSTOMER$")
      .variable(0x0020, "STATUS.CODE")  // three bytes to the next: no type
      .variable(0x0023, "MODE")
      .variable(0x0024, "DISPLAY.LINE$")
      .variable(0x0028, "ITEMS.SOLD");
}

void add_demo_vars(DumpBuilder& b, const DemoDump& d, bool sym_in_code) {
  const int p = d.appl_proc;
  auto data = [&](uint16_t off) { return uint32_t{d.data} << 16 | off; };

  // Values (data offsets 0x0010 to 0x002B) and bodies (0x5000 on).
  b.put(p, data(0x0010), le32_bytes(data(0x5180)));
  b.put(p, data(0x0014), le16_bytes(1));
  b.put(p, data(0x0016), le16_bytes(0xFFF6));
  b.put(p, data(0x0018), le32_bytes(data(0x5000)));
  b.put(p, data(0x001C), le32_bytes(data(0x5100)));
  b.put(p, data(0x0020), Bytes{0x01, 0x02, 0x03});
  b.put(p, data(0x0023), Bytes{0x85});
  b.put(p, data(0x0024), le32_bytes(data(0x5140)));
  b.put(p, data(0x0028), le32_bytes(123456));
  // An INT2 array of four prices in cents: size, pointer, type, dimensions.
  Bytes block = le16_bytes(14);
  for (const Bytes& part : {le32_bytes(data(0x5300)), Bytes{0x02, 1, 0, 0}, le16_bytes(0), le16_bytes(3),
                            le16_bytes(2), le16_bytes(199), le16_bytes(249), le16_bytes(0), le16_bytes(110)})
    block.insert(block.end(), part.begin(), part.end());
  b.put(p, data(0x4FFE), block);
  b.put(p, data(0x5100), basic_string("JANE Q. CUSTOMER"));
  b.put(p, data(0x5140), basic_string("TOTAL          4.69"));
  b.put(p, data(0x5180), basic_string("OP-0042"));

  // Two calls in PROCESS.SALE: a far call of PRINT.RECEIPT and a near call.
  uint16_t far_ret = put_far_call(b, p, d.code, 0x0180, d.code, 0x0310);
  uint16_t near_ret = put_near_call(b, p, d.code, 0x01A0, 0x00F0);
  StackBuilder st(0x2000);
  st.word(0x1F80, 0x0042).word(0x1F82, 0x000C).word(0x1F84, 0x4241);
  st.word(0x1FA0, 0x1FB0).far_ptr(0x1FA2, d.code, far_ret);
  st.word(0x1FB0, 0x1FC0).far_ptr(0x1FB2, d.code, near_ret);
  st.word(0x1FC0, 0x0000).far_ptr(0x1FC2, d.data, 0x001C);
  st.fill(0x1FD0, 0x1FE0, 0x5353);
  st.put(b, p, d.stack);

  // The module's SYM file, merged behind the code by the postprocessor.
  if (!sym_in_code) return;
  std::tm t{};
  t.tm_year = 124;
  t.tm_mon = 2;
  t.tm_mday = 14;
  t.tm_hour = 9;
  t.tm_min = 30;
  t.tm_wday = 4;
  put_merged_sym(b, p, d.code, kDemoCodeSize, demo_sym(), t);
}

}  // namespace testkit
