// The SYM file a postprocessed module carries behind its last code group,
// placed at the end of an application's code in a dump: the SYM text and
// the trailer the module library writes for it.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>

#include "testkit/dumpbuilder.h"

namespace testkit {

// The merged SYM as the module holds it: the text, then its trailer.
Bytes merged_sym(const std::string& symtext, const std::tm& stamp);
// Writes merged_sym so that it ends just before offset `end` of code
// segment `code`; returns the offset where the SYM text starts.
uint16_t put_merged_sym(DumpBuilder& b, int proc, uint16_t code, uint32_t end, const std::string& symtext,
                        const std::tm& stamp);

}  // namespace testkit
