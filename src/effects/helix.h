// Scene 2: a twisted column of square outlines over a rippling picture.
#pragma once

struct Stage;

// One line of a square outline, ends inclusive.
struct HelixLine {
    int x1, y1, x2, y2;
    bool in_c;  // drawn in pokale_c (true) or pokale_d (false)
};

// The eight lines of the square numbered `pokale` (0..429) with centre column c and corner-1
// offset (x, y): the outline at row 450 - pokale, then the same one row lower.
void helix_square_lines(float pokale, int c, int x, int y, HelixLine out[8]);

// Colour components of square `pokale`: first line colour (c) and second (d), blue always 0.
struct HelixColours {
    int a;
    int c_red, c_green;
    int d_red, d_green;
};
HelixColours helix_colours(float pokale);

// The source row, destination and width of wave strip `pokale` (0..199).
struct WaveStrip {
    int sy, dx, dy, dw;
};
WaveStrip wave_strip(float pokale, float aalto, float pokale_m);

struct Helix {
    float old_i = 0;     // base angle of the column, radians; falls about 0.1 per frame
    float i = 0;         // running angle of the current square
    float pokale_m = 0;  // slow oscillator pulled toward 100
    float pokale_v = 0;  // its velocity
    float pokale = 0;    // counter of the square loop and of the strip loop
    int pokale_x = 0;    // corner-1 offset of the current square, sway included
    int pokale_y = 0;
    int pokale_c = 0;  // the square's two line colours
    int pokale_d = 0;
    float aalto = 0;  // wave phase, +0.1 per frame

    // Steps 2 to 4 of a frame: the base angle, the running angle and the oscillator.
    void advance_angles();
    // The running angle, corner offsets and colours of the next square (pokale already set).
    void next_square();

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Stage& s);
};
