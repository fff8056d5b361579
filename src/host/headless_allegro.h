// Allegro without a screen: what every program and test that draws into memory bitmaps calls
// before it makes a colour or a bitmap.
#pragma once

// Starts Allegro without a system driver (once per process) in `depth` bits per pixel, with the
// 24/32-bit pixel layout red << 16 | green << 8 | blue of the X11 display.
void start_headless_allegro(int depth = 32);
