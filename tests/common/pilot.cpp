#include "common/pilot.h"

#include <cmath>

#include "game/header.h"

namespace {

// The planet the ship would hit first flying straight on, within reach:
// its side (-1 left, +1 right, 0 none).
int Threat(float reach) {
    double a = player.angle * 3.14159265358979 / 180.0, hx = std::sin(a), hy = -std::cos(a);
    double best = reach;
    int side = 0;
    for (int i = 0; i < numPlanets; i++) {
        double rx = planet[i].x + planet[i].size - (player.x + 16);
        double ry = planet[i].y + planet[i].size - (player.y + 16);
        double ahead = rx * hx + ry * hy, across = rx * -hy + ry * hx;
        if (ahead > 0 && ahead < best && std::fabs(across) < planet[i].size + 40) {
            best = ahead;
            side = across < 0 ? -1 : 1;
        }
    }
    return side;
}

}  // namespace

PilotMove PilotDecide(Pilot &p) {
    bool act = false;
    if (player.flightMode != 0) {
        act = --p.hold > 0;
        if (p.careful && Threat(130) != 0) act = false;
        if (!act) p.cooldown = 20 + (int)p.Next(80);
    } else {
        double bx = xClosestPlanet - (player.x + 16), by = yClosestPlanet - (player.y + 16);
        double bearing = std::remainder(std::atan2(bx, -by) * 57.29578 - player.angle, 360.0);
        if (p.cooldown > 0) {
            p.cooldown--;
        } else if (distClosestPlanet > 75 && distClosestPlanet < 165 &&
                   std::fabs(std::fabs(bearing) - 90) < 25 && p.Next(3) == 0) {
            act = true;
            p.hold = 30 + (int)p.Next(p.careful ? 90 : 220);
        }
    }
    if (--p.steerFor <= 0) {
        p.steer = (int)p.Next(3) - 1;
        p.steerFor = 10 + (int)p.Next(90);
    }
    int steer = p.steer, threat = act ? 0 : Threat(p.careful ? 320 : 200);
    if (threat) steer = -threat;
    return {act, steer};
}
