// The show's one random generator: the classic 15-bit C runtime sequence, unseeded.
// Every random draw of the show (tiles, smear, stairs, tunnel, ending) comes from one instance,
// so the order of draws across effects is part of what the show looks like.
#pragma once
#include <cstdint>

class ShowRandom {
public:
    // Next value, 0..32767: state = state * 214013 + 2531011 (32-bit, wrapping).
    int next()
    {
        state_ = state_ * 214013u + 2531011u;
        ++draws_;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }
    long draws() const { return draws_; }

private:
    uint32_t state_ = 1;
    long draws_ = 0;
};
