// Error lists and the runtime level: the controller runtime's data, the
// search of the application's code for a text, and the runtime version
// records that give the runtime level.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "morvik/state/session.h"

namespace morvik {

// The runtime-data section of the big-memory-model (controller) runtime.
void wrenRTdata(Session& s);
// The chain of the data the runtime saved before each ON ERROR routine
// (from the latest block, `head`), and the notice box on stacked-up errors.
void doErrors(Session& s, uint32_t head);
void display(Session& s);
// Searches the application's code for `str` followed by a digit; on a find
// copies `len` bytes from there into `result` and returns 1, else 0. On its
// way it lists the KIVRA codes once a run.
int16_t searchCodeForString(Session& s, const char* str, unsigned char* result, int16_t len);

// --- runtime level -------------------------------------------------------

// The level of the terminal runtime (41 when no version record is found);
// sets cbrt and runtime.verdate.
int16_t getcbrt(Session& s);
// The MARRA search of the process's code blocks.
void trythis(Session& s);
// 1 when a version record starts in the first `bytes` bytes of `buffer`
// (sets cbrt and runtime.verdate; the record's 29 bytes must be there), else 0.
int16_t search(Session& s, const unsigned char* buffer, int16_t bytes);
// The level of the shared runtime (0 when not found).
int16_t findWrenRTlevel(Session& s);
// The level of the application's own runtime; ends the run with status 0
// when the code holds no version record.
int16_t findNoshRTlevel(Session& s);
// The level of a version record's digits ("CBRT" then digits).
int16_t version_level(const unsigned char* rec, size_t len);

// --- data-segment searches -------------------------------------------------

// The `outlen` bytes of the data segment at the first place that starts
// with the `inlen` bytes of `str`; none when absent.
std::optional<std::vector<unsigned char>> findStringInData(Session& s, const unsigned char* str, int16_t inlen,
                                                           int16_t outlen);
// The 64 bytes of the ON ERROR table "oerrlist" (4 records of 16 bytes),
// or none.
std::optional<std::vector<unsigned char>> findOERRlist(Session& s);

}  // namespace morvik
