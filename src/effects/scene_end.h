// The common tail of a scene frame.
#pragma once

class Host;

// Tests Esc, and if it is held ends the program the way a scene does (deinit, no mode change)
// and returns false; otherwise consumes the frame's tick and returns true. Scene frames whose
// Esc test is their second-to-last step end with `return finish_frame(s.host);`.
bool finish_frame(Host& host);
