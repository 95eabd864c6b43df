// c_sparkle: a tiny drifting 8 by 8 particle.
//
// The ship (its trail, which becomes the explosion) and every picked-up star
// (its burst) keep rings of 32 of these inside their own records. The owner
// picks the start and the drift; a sparkle only moves in a straight line and
// draws itself with blend mode 1.
#pragma once

class c_sparkle {
public:
    float x = 0, y = 0;    // world position of the picture's top-left corner
    float dx = 0, dy = 0;  // movement per frame
    int variant = 0;       // which of the four pictures of its colour (star sparkles)
    int type = 0;          // 1: ship trail sparkle, 0: star sparkle
    int age = 0;           // draw calls since emission, up to 15 (trail sparkles)
    int active = 0;        // 0 until the slot is first emitted, then 1 for good

    void Init(int x, int y, float dx, float dy, int type);
    void Draw(int colour);
    void Handle();
};
