// Where the application's code lies, for the search of the SYM file that a
// postprocessed module carries behind its last code group.
#pragma once
#include <cstdint>
#include <string>

namespace morvik {

struct DumpSym {
  uint32_t appl_code_start = 0;  // selector:offset of the code memory (m_lbase)
  uint32_t appl_code_len = 0;    // its length in bytes (m_length)
  uint32_t sym_timestamp = 0;    // the trailer's packed time
  // The extracted file: written into the current folder under this name.
  std::string dump_sym_name = "MRVK_SYM.SYM";
};

}  // namespace morvik
