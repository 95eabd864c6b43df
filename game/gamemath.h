// Trigonometry that gives the same bits in every build.
//
// The game's flight (the ship's heading, the sparkles' drift) goes through
// sin and cos, and the chain's links through atan2. The C libraries of the
// desktop and the browser do not round these the same way in every case,
// and a single differing bit grows into another game a few seconds later.
// These are written with nothing but IEEE additions, multiplications,
// divisions and square roots, which every target rounds alike when
// expressions are not contracted (the game is built with -ffp-contract=off).
// They are within an ulp or two of the exact values, so after the game's
// rounding to float they almost always give what the library gave.
// sqrt needs no replacement: IEEE rounds it exactly everywhere.
//
// Depends on: nothing.
#pragma once

double GameSin(double x);
double GameCos(double x);
// atan2(y, x) in -pi..pi, with the usual quadrants and signed zeros.
double GameAtan2(double y, double x);
