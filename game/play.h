// Frames of play, and a recorded game played again.
//
// One frame of play is drawing, then handling. The handling reads its
// input at one place, ReadPlayInput: from the devices in a live game (and
// then into the recording, when one runs), from the replay while one plays.
// A frame that is not drawn (the verifier's) still does what drawing does
// to the game's state: the crashed planet's countdown.
//
// A playback runs a replay's game beside whatever the program was doing:
// each of its frames swaps the replay's ship, generator and game state in
// and the program's own back out, so that a demo between title pages
// leaves the next real game, the best scores and the name as they were.
//
// Depends on: game/header.h, game/replay.h, cgl (drawing, input, window).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "game/header.h"
#include "game/replay.h"

// Lays out a new game of the difficulty: planets, stars, the ship, fade-in.
// False when the generator's state lays out no field (one from a file).
bool BeginPlay(int difficulty);
// A frame's drawing (which counts the crashed planet down), and its handling.
void DrawPlayFrame();
void HandlePlayFrame();
// The one place a frame of play reads its input.
s_frameinput ReadPlayInput();
// The live game's recording (null: none); every frame's input goes there.
void SetPlayRecording(s_replay *recording);

struct s_playback {
    s_replay replay;
    uint32_t frame = 0;       // frames played
    uint32_t run = 0;         // the run holding the next frame
    uint32_t runFrame = 0;    // frames of that run already played
    uint32_t mismatch = 0;    // the first checked frame whose state differs, 0 none
    bool over = false;        // the replay's last frame has been played
    bool endedEarly = false;  // its game ended before its last frame
    bool noField = false;     // its generator state lays out no field
    // The replay's game between its frames.
    c_player ship;
    s_randomstate random;
    int state = 0;
};

// Lays out the replay's game (replay must be filled in). The program's own
// state is left as it was.
void PlaybackBegin(s_playback *pb);
// One frame of the replay's game, drawn or not; checks the state hash where
// the replay has one. Returns false once it is over (then nothing runs).
bool PlaybackFrame(s_playback *pb, bool draw);
// The result line's verdict once over: true when every hash, the end and
// the score agreed.
bool PlaybackAgreed(const s_playback &pb);

// Plays each file without a window, sound or threads and writes a line per
// file to out: name, difficulty, score and frames, and the verdict. Returns
// 0 when all agree, 1 when a game went another way (the line names the
// first frame whose state differs), 2 when a file cannot be read or was
// made by other rules (its line says why; that outranks 1).
int VerifyReplayFiles(int count, const char *const *paths, std::FILE *out);

// The line over a replay's picture: what (REPLAY, DEMO...), difficulty,
// name and score.
void DrawReplayLabel(const s_replay &replay, const char *what);

// Plays a replay file in the game's window: Space pauses, Right plays four
// times as fast while held, Escape leaves. Returns the exit status.
int WatchReplayFile(const char *path);
