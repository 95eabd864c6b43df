// The verdict on one submitted game, given by the game's own reader and
// verifier: the code `qostarfold --verify` runs (game/play.h), without a
// window or sound. It plays on the game's globals, so one process gives one
// verdict at a time; the server runs it in verifying processes of its own
// (server/workers.h).
//
// Depends on: the verifier library (game/replay.h, game/play.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

struct s_verdict {
    int status = 0;       // 200 verified, 400 damaged, 422 refused, 503 not verified in time
    std::string message;  // one line: what was found
    int rules = 0;        // the rules version that played it
    int difficulty = 0;   // 0..2
    int score = 0;
    uint32_t frames = 0;
    std::string name;               // the name field's bytes up to its zero, unchecked
    std::array<uint8_t, 32> key{};  // the game without its name (GameKey)
};

// Reads and plays one file's bytes. Only a finished game that plays as
// recorded is verified: an unfinished one (closed in play, or four hours
// recorded) proves no final score.
s_verdict VerifyGame(const uint8_t *data, size_t size);

// Verdicts between a verifying process and the server: a few fixed fields
// and two strings, each checked against the bytes there are.
std::string EncodeVerdict(const s_verdict &verdict);
bool DecodeVerdict(const std::string &bytes, s_verdict *verdict);
