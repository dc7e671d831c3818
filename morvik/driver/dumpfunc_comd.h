// The system communication areas and the circumstances of the dump: where
// and why the machine dumped, and the failing address.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "morvik/state/session.h"

namespace morvik {

// The terminal's machine type from "VCSM_machine" (terminal dumps).
void getMachineType(Session& s);
// The controller communication area: station, store, time, date, reason,
// the exception of an application program check, attachment and memory
// size (all but MARRA dumps).
void getCCOMD(Session& s);
// The terminal communication area of non-MARRA terminals (MOD2 number).
void getVELAtcomd(Session& s);
// The terminal communication area of MARRA dumps (at dump offset 1024).
void getTCOMD(Session& s);

}  // namespace morvik
