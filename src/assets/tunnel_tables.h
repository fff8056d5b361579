// Lookup tables of the two tunnel scenes, built once before the show.
#pragma once
#include <allegro.h>

// Column length of the two tunnel tables: the screen height, although only tunnel_h rows are used.
constexpr int kTunnelColumn = 480;
// Entries of each of the two tables: 640 columns.
constexpr int kTunnelTableSize = 640 * kTunnelColumn;

struct TunnelTables {
    int texture[65536] = {};                   // face3 picture, entry i*256+j = pixel at x=i, y=j
    int xorTexture[65536] = {};                // i XOR j
    int distanceTable[kTunnelTableSize] = {};  // depth coordinate, column-major, 480 per column
    int angleTable[kTunnelTableSize] = {};     // angle coordinate, same layout
    int tunnel_w = 0;                          // 640 once built
    int tunnel_h = 0;                          // 320 once built
    int shiftLookX = 0;                        // look-up offsets of the readers; never changed
    int shiftLookY = 0;

    // The view the tunnel passes read, tunnel_w columns of tunnel_h entries from (shiftLookX,
    // shiftLookY), lies inside the tables.
    bool view_in_tables() const
    {
        return shiftLookX >= 0 && shiftLookY >= 0 && tunnel_h + shiftLookY <= kTunnelColumn &&
               (tunnel_w + shiftLookX) * kTunnelColumn <= kTunnelTableSize;
    }
};

// Fills all four tables from face3Image and sets tunnel_w and tunnel_h.
void build_tunnel_tables(TunnelTables& t, BITMAP* face3Image);
