// Old name of frame/headless_allegro.h, kept until the last file that includes it moves over.
#pragma once
#include "frame/headless_allegro.h"
