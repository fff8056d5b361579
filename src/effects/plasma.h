// Scene 1: block plasma under the line relief of two turning faces.
#pragma once
#include "effects/spring.h"
#include <allegro.h>

#include <vector>

struct Stage;
class Host;

// One 4x4 block of the plasma: the ring distance, the sum before truncation, and the colour.
struct PlasmaCell {
    double d;              // distance from the ring centre, in blocks
    double value;          // 128 * sin(d / 5) + b, 0..768
    int v, q;              // truncated value and v / 4
    int red, green, blue;  // unclamped, as they go to makecol
};

// The terms of a cell that depend on its column alone (of w, at phase pano) and on its row alone
// (of h, with the spring values); the draw computes them once a frame.
struct PlasmaColumn {
    double a;   // 128 * sin(pano + c / 8) + 256
    double dx;  // horizontal distance from the ring centre
};
struct PlasmaRow {
    double wave;  // 128 * sin(plusm + r / 16)
    double dy;    // vertical distance from the ring centre
};
PlasmaColumn plasma_column(int c, int w, float pano);
PlasmaRow plasma_row(int r, int h, float plasm, float plusm);

// The cell with the given column and row terms.
PlasmaCell plasma_cell(const PlasmaColumn& col, const PlasmaRow& row, float plasm, float plusm);
// The block at column c, row r of a w x h plasma with phase pano and the spring values.
PlasmaCell plasma_cell(int c, int r, int w, int h, float pano, float plasm, float plusm);

// The rotation angle of the faces after one frame: +2, and past 255 back to 0.
int next_turn(int kartanpyoritys);

// Sample points whose height pixel is above this (fixed-point 60) become dashes.
constexpr int kReliefThreshold = 60 << 16;

struct Plasma {
    int plasma_w = 0;  // plasma size in 4x4 blocks, set in the preamble
    int plasma_h = 0;
    float pano = 0;          // plasma phase, +1 per frame
    float plasm = 0;         // ring centre's vertical offset and red bias
    float plasv = 0;         // its velocity
    float plusm = 0;         // phase of the vertical wave and blue bias
    float plusv = 0;         // its velocity
    int kartanpyoritys = 0;  // turn of both face pictures, 256 per full turn
    float mapx = 0;          // relief sample column
    float mapy = 0;          // relief sample row
    float viiva = 0;         // leftward shift of the current dash

    // The 160x80 blocks over rows 80..399 of `canvas`.
    void draw_plasma(BITMAP* canvas);
    // The springs and the phase, once per frame after the plasma.
    void update_parameters();
    // Dashes of `height` samples above the threshold, coloured from `colour`, onto `canvas`;
    // polls the music once per sample point.
    void draw_relief(Host& host, BITMAP* canvas, BITMAP* height, BITMAP* colour);

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Stage& s);

private:
    // This frame's column and row terms.
    std::vector<PlasmaColumn> columns_;
    std::vector<PlasmaRow> rows_;
};
