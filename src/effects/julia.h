// Scene 4: the Julia zoom under the afro picture; ends itself once the zoom passes 64.
#pragma once
#include <vector>

struct Stage;

struct Julia {
    int max_iterations = 1500;      // iteration limit, one more every frame
    float zoom = 0;                 // magnification, +5% and a little every frame; never reset
    int w = 0, h = 0;               // sample grid, 320x240
    double c_re = 0, c_im = 0;      // the Julia constant; c_im enters with a minus sign
    float move_x = 0, move_y = 0;   // the point that stays at the centre of the screen
    double new_re = 0, new_im = 0;  // current iterate
    double old_re = 0, old_im = 0;  // previous iterate

    // One frame of the scene: draws, presents, consumes its tick; false when Esc ended the program.
    bool frame(Stage& s);

    // Iterates z <- z^2 + c_re - i*c_im from (new_re, new_im) until |z|^2 exceeds 0.8 or the limit is
    // reached. Returns the number of steps before the escaping one (max_iterations if none
    // escapes) and leaves the last two iterates in new/old.
    int escape_count();

private:
    // Work lists of a frame's samples, kept to save their allocation.
    struct Sample {
        int x, y;
    };
    std::vector<Sample> samples_;
    std::vector<double> starts_re_, starts_im_;
    std::vector<int> counts_;
};

// The colour of an escape count i: makecol(i, 128 - |i - 128|, i), components passed unclamped.
int julia_colour(int i);
