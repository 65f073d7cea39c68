// What tamaro-mkpractice is asked to write.
#pragma once

#include <cstdint>
#include <string>

#include "tools/PracticeKind.h"

struct PracticeOptions {
    std::string dir;  // installation folder; databases go to dir/Database
    PracticeKind kind = PracticeKind::Firebird;
    int patients = 200;
    uint64_t seed = 1;
    bool network = false;   // write dir/Network.cfg
    std::string fbConnect;  // its FBConnect value; empty: dir itself (embedded engine)
    bool force = false;     // replace existing database files
    int64_t now = 0;        // reference time of all dates; 0: the current time
    // After the random patients: a fixed set of patients, one for each kind
    // of open business and each edge of the patient list, and doctor 0.
    bool cases = false;
};
