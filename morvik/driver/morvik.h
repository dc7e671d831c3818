// MORVIK: the dump formatter's entry, the dialogue and the run's checkpoints.
#pragma once

#include "common/console.h"
#include "morvik/state/session.h"

int morvik_main(int argc, char** argv, vt::Console& con);

namespace morvik {

// Banner, trailing "/d" or "/dh", and the "?" request. Returns 0.
int morvik_banner(Session& s, int argc, char** argv);

// The dialogue: answers from the command line, "appargs" or the operator;
// opens the files, fixes the dump kind, checks the BSX file and saves the
// answers.
void dialogue(Session& s, int argc, char** argv);

// The report flow after the dialogue.
void run_report(Session& s);

}  // namespace morvik
