// The springs of the plasma, the helix and the tunnel pair: a constant pull toward a centre.
#pragma once

// pos += vel, then vel -= pull when pos is above `centre`, else vel += pull (exactly at the
// centre counts as below). Evaluated in double, stored as float.
inline void spring_step(float& pos, float& vel, double centre, double pull)
{
    pos = static_cast<float>(static_cast<double>(pos) + static_cast<double>(vel));
    if (static_cast<double>(pos) > centre)
        vel = static_cast<float>(static_cast<double>(vel) - pull);
    else
        vel = static_cast<float>(static_cast<double>(vel) + pull);
}
