#pragma once

namespace korbelt {

// State shared by the batch run, the repair pass and the Stop button. All of it is touched
// on the user-interface thread only.
struct RunState {
    bool interactive = false;  // ask before each removal
    bool stopflag = false;     // Stop was pressed; the pass polls and clears it
    bool fileerror = false;    // the last file was not repaired
    int listindex = 0;         // status line the pass rewrites with the file's outcome
};

}  // namespace korbelt
