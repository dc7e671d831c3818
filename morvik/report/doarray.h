// Arrays and REALs, and the small output routines the report sections
// share: section labels and the summary area, hex dumps, the time of day.
#pragma once
#include <cstdint>
#include <span>
#include <string_view>

#include "common/format_check.h"
#include "morvik/state/session.h"

namespace morvik {

// Element type codes of a BASIC array block.
constexpr uint8_t kInt1 = 0x01;
constexpr uint8_t kInt2 = 0x02;
constexpr uint8_t kInt4 = 0x04;
constexpr uint8_t kReal = 0x4A;    // 'J'
constexpr uint8_t kString = 0x58;  // 'X'

// The name of an element type code: "INT1", "INT2", "INT4", "REAL",
// "STRING", or "????".
const char* type(uint8_t code);

// Writes the BASIC REAL of 10 bytes at `real` and a new line. Returns 0.
int16_t showreal(Session& s, const unsigned char* real);

// Prints the BASIC array whose block is at the far pointer `addr`; the
// caller has written the variable's name. `flag` is 0 for "TS.TRACE";
// `file` indexes the CDV source-file table (0 with a SYM file). Returns 0
// when printed (also when empty), -1 when the block is rejected (nothing
// printed).
int16_t doArray(Session& s, uint32_t addr, std::string_view name, int16_t flag, int16_t file);

// The section labels and the 14-line summary area of a report file; sets
// summaryPos (and summaryEnd). Writes nothing on the screen.
void section_headers(Session& s);

// Positions a file report at `pos` in the summary area for a write of its
// own and limits that write to the text room of the box line holding `pos`
// (nothing is written outside the area). seek_end() lifts the limit.
void seek_summary(Session& s, int64_t pos);

// Writes one summary line at summaryPos (the text should begin with a
// blank), moves summaryPos to the next box line and returns to the end of
// the report. Only in a report file with a summary area; a line beyond the
// 14th is dropped, and a text longer than the box's inside is cut.
void add_summary_line(Session& s, const char* fmt, ...) VT_PRINTF_FORMAT(2, 3);

// Hex and character dump of `buf`, 16 bytes a line.
void pdump(Session& s, std::span<const unsigned char> buf);

// Reads `len` bytes of the application at `iobuf` and dumps them without
// their trailing zero bytes (one zero byte is kept).
void showbuf(Session& s, uint32_t iobuf, uint16_t len);

// Writes a time of day given in milliseconds as hh:mm:ss.mmm. Returns 0.
int16_t print_timestamp(Session& s, uint32_t msec);

// The byte shown for a dumped byte in the character columns: '.' for the
// control bytes that upset a listing, the byte itself otherwise.
char handle_unprintable_character(char c);

// Capitals for a-z in place; returns the position of the terminating NUL.
char* strupr(char* text);

}  // namespace morvik
