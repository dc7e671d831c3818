// The controller demo's runtime: an error not resumed after an earlier one
// (two saved-error blocks), three open sessions and an ON ERROR routine.
#include "testkit/demo_runtime.h"

#include "testkit/runtimebuilder.h"

namespace testkit {

void add_demo_controller_runtime(DumpBuilder& b, int proc, uint16_t code, uint16_t data) {
  // The data block stands where the runtime keeps it (0x232 .. 0x718); the
  // rest in 0x0800 .. 0x3FFF, which the terminal runtime would use.
  ControllerRuntimeSpec r;
  r.marker_at = 0x0800;
  r.rtdata_at = 0x0820;
  r.table_at = 0x0A00;
  r.spare_at = 0x1C00;
  // The store's transaction log (its buffer holds a record), a session
  // with a terminal and the controller's own log.
  r.sessions.push_back(runtime_session(1, "C:/ADX_IDT1/EALTRANS.DAT", 0x00040003u, 0, 64,
                                       Bytes{'T', 'R', 'A', 'N', 'S', ' ', '0', '0', '4', '2', ' ', '4', '.', '6', '9'}));
  r.sessions.push_back(runtime_session(2, "TERM021", 0x00050007u, 4, 32));
  r.sessions.push_back(runtime_session(3, "C:/ADX_IDT1/EALCTLOG.DAT", 0x00060009u, 0, 128));
  r.last_session = 1;
  r.latest = SavedError{0x1F60, "EF", 0x00000001u, 1};
  r.on_error = uint32_t{code} << 16 | 0x0100;
  r.saved.push_back(SavedError{0x1F60, "EF", 0x00000001u, 1});
  r.saved.push_back(SavedError{0x1F40, "IH", 0x8001000Fu, 1});
  add_controller_runtime(b, proc, data, r);
}

}  // namespace testkit
