// The start-up probe. The pictures and the module are decoded by libraries that trust their input:
// a file that no check knows how to fault can still crash, abort or hang them, or make them write
// files. So before the screen opens, a child process loads every picture and the module and
// renders the show's stretch of music, under a time limit, in a private working directory that is
// removed as soon as it stands in it, unable to grow any file, and killed if the show ends first.
// Only the child can be taken down.
#pragma once
#include <string>

struct ProbeResult {
    // "DIR/tolmo.jpg: the picture loader crashed on it with signal 11, Segmentation fault"; empty
    // when every picture either loaded or was refused cleanly by its check (which the show itself
    // then reports).
    std::string picture_fault;
    // Likewise for the module; it is also noted with note_module_fault, so every host's check
    // refuses it and the show runs silent.
    std::string module_fault;
    double seconds = 0;  // wall time the probe took
};

// Probes the show's data in `data_dir` (its pictures and "80S5.IT"). Call it while the process
// has no threads and no screen: it forks.
ProbeResult probe_show_data(const std::string& data_dir);
