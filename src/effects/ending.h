// The ending: credits written into textBitmap, then 900 passes of blur, block letters and fade.
#pragma once
#include <allegro.h>

struct Stage;

// Runs the pause and the fade and leaves the program; returns main's result (0).
int run_ending(Stage& s);

// The credit lines, 1 to 4 (nullptr for any other index).
const char* credit_line(int n);

// Writes credit line n (1..4) into textBitmap: white on magenta, centred on column 160, top at
// row 8n + 5. Writing a line again changes nothing.
void write_credit_line(BITMAP* textBitmap, int n);

// The textBitmap row that fade pass `laiskuri` (counted after its increment) turns into blocks:
// row 0 at 101, then rows 1..49 twice each (2y + 100 and 2y + 101); -1 outside 101..199.
int ending_scan_row(int laiskuri);

// Scans textBitmap row y with x = 0..319 and stamps a block cell onto canvas for every white
// pixel: a 7x8 cell at columns 3x - 142 .. 3x - 136, rows 8y .. 8y + 7, dark edges, bright core.
void stamp_block_row(BITMAP* canvas, BITMAP* textBitmap, int y);
