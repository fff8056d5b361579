// The drawing code's first calls, made before the show starts. The browser compiles each wasm
// function when it is first called, and the largest (the blend loops, Allegro's stretching and
// rotation) take milliseconds; made here, that work stays out of the show's first frames.
#pragma once

class Host;

// Draws on scratch bitmaps with each blender and drawing call the show uses, then restores the
// blender Allegro holds: nothing the show draws can tell that it ran. `host` only has its music
// polled, which draws and plays nothing.
void warm_up_drawing(Host& host);
