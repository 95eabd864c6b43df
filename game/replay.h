// Replays: a game as its start and its input, frame by frame.
//
// The game is a function of the generator's state at its start, the
// difficulty, the brightness the title left and the input of every frame.
// A replay keeps exactly those, plus a hash of the game's state every 60
// frames and at the end, so that playing it again can prove it gives the
// same game. docs/replay-format.md describes the .qoreplay file byte by byte.
//
//   s_replay              one game in memory
//   ReplayEncode/Decode   the file's bytes; decoding checks every length
//   ReplayRecord...       recording the game being played
//   StateHash             the game's state, field by field
//
// Depends on: game/header.h (the state hashed), game/random.h, the key
// bits of cgl/input.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cgl/input.h"
#include "game/random.h"

// Raised by hand whenever the simulation changes: a replay made by other
// rules cannot be played right and is refused.
constexpr int kRulesVersion = 1;
// Format 2 records only the input bits play reads and says how a recording
// ended; format 1 files (the whole key sets, every game finished) are read
// as the format 2 file of the same game.
constexpr int kReplayFormatVersion = 2;
constexpr int kReplayHashInterval = 60;
// Four hours of play: the recorder stops there, and a longer file is taken
// for a damaged one.
constexpr uint32_t kReplayMaxFrames = 4u * 60u * 60u * 60u;
constexpr int kReplayNameSize = 64;

// How a recording ended.
constexpr int kReplayFinished = 0;  // the game ended: end state 90, 98 or 255
constexpr int kReplayClosed = 1;    // the program was closed during play
constexpr int kReplayFull = 2;      // four hours were recorded; the game went on

// What a frame of play reads, and so all a replay keeps of it: held, the
// arrows and the action buttons; newly pressed, the action buttons (they
// sound the slingshot) and Escape; the three mouse buttons.
constexpr int kPlayActionKeys =
    CGL_KEY_BUTTON1 | CGL_KEY_BUTTON2 | CGL_KEY_BUTTON3 | CGL_KEY_BUTTON4;
constexpr int kPlayHeldKeys = CGL_KEY_LEFT | CGL_KEY_RIGHT | kPlayActionKeys;
constexpr int kPlayPressedKeys = kPlayActionKeys | CGL_KEY_ESCAPE;
constexpr int kPlayMouseButtons = 1 | 2 | 4;

// What the game reads in one frame of play.
struct s_frameinput {
    int held;          // key bits held (CGL_GetKeys), within kPlayHeldKeys
    int pressed;       // key bits newly pressed, within kPlayPressedKeys
    int mouseButtons;  // mouse button bits (CGL_GetMouse)
};

// A run of frames with the same input.
struct s_inputrun {
    uint16_t held, pressed;
    uint8_t mouseButtons;
    uint8_t frames;  // 1..255
};

struct s_replay {
    s_randomstate random;  // the generator before the field is laid out
    int difficulty = 0;
    float startFade = 0;  // the brightness the game's fade-in starts from
    int endState = 0;     // gameState after the last frame: 90, 98 or 255 (0, 1 or 3 unfinished)
    int ending = kReplayFinished;
    char name[kReplayNameSize] = {};
    int score = 0;
    uint32_t frames = 0;
    std::vector<s_inputrun> runs;
    std::vector<uint32_t> hashes;  // after frames 60, 120, ... and after the last
};

// A hash of the tuning constants the rules are made of.
uint32_t RulesTuningHash();

// The game's state, hashed field by field in a fixed order: the state of
// the loop, the fade, the planet count and the closest planet; the ship and
// its trail; the planets in play; the stars; the generator. Drawing-only
// fields (the camera, the frame counter, the trail's animation, the best
// scores) are left out.
uint32_t StateHash();

// CRC-32 (the common one, reflected polynomial 0xEDB88320).
uint32_t ReplayCrc32(const uint8_t *data, size_t size);

// The file's bytes, in the current format. Encoding an unfinished replay
// is allowed (tests).
std::vector<uint8_t> ReplayEncode(const s_replay &replay);
// Reads untrusted bytes. Returns 1 and fills replay; 0 with a one-line
// reason in *error for a file that is cut, damaged, not a replay or not one
// the recorder of its format could have written; -1 with the reason for a
// replay of rules this game does not play. A format 1 file comes back as
// the recorder writes its game today, so ReplayEncode gives its format 2 file.
int ReplayDecode(const uint8_t *data, size_t size, s_replay *replay, std::string *error);

// Text as one line that a terminal shows as it is: the fonts' characters
// (' ' to '|') stay, a backslash is doubled and every other byte is \xHH.
std::string ReplayShownText(const char *text);
// What a result line adds for a recording that did not see its game end,
// "unfinished (closed during play)" and the like; "" for a finished game.
const char *ReplayEndingText(const s_replay &replay);

// Files. Reading takes at most the largest size a replay can have.
int ReplayLoad(const char *path, s_replay *replay, std::string *error);
// Written through path + ".tmp" and a rename. Returns 1 on success.
int ReplaySave(const char *path, const s_replay &replay);

// Recording: begun before the field is laid out, fed every frame's input,
// told when a frame has been handled, ended right after the last frame
// (its state is hashed then); the name comes once it has been typed. At
// kReplayMaxFrames the recording ends by itself (kReplayFull) and ignores
// what follows, so that every recording is a file the reader takes.
void ReplayRecordBegin(s_replay *replay, int difficulty, float startFade);
void ReplayRecordInput(s_replay *replay, const s_frameinput &input);
void ReplayRecordFrameDone(s_replay *replay);
// ending kReplayClosed: the game was cut off in play (endState is then the
// state it was in).
void ReplayRecordEnd(s_replay *replay, int endState, int score, int ending = kReplayFinished);
void ReplaySetName(s_replay *replay, const char *name);

// Files in the save folder, beside highscore.dat: replays/last.qoreplay
// holds the last game played, and each table entry's game is
// replays/<table>-<score>-<hash of the name>.qoreplay, named after the
// entry so that the table's changes move no file.
struct s_highscore;
std::string EntryReplayPath(int d, int place);  // place 0..9; "" for none
// The place (0..9) a score takes in table d, by the ranking's own rule.
int ReplayPlaceOf(int score, int d);
// Files of the layout before, replays/<table>-<place>.qoreplay, that are
// replays of the tables' entries (as loaded) take their entries' names,
// each in one step; others are left as they are.
void AdoptPlaceNamedReplays();
// Keeps the game as the last one (a recording of no frames is not kept).
void KeepLastReplay(const s_replay &replay);
// Keeps a game that made the tables as they are now: as the last one; when
// it made an entry at place (0..9) of table d, as that entry's (written
// before the tables, which are then saved); and once they are saved,
// removes the replay of left, the entry that the game pushed out of table
// d, unless another entry has its name and score. place -1: no entry, the
// tables are saved all the same. Returns SaveHighscores' result.
int KeepGame(const s_replay &replay, int d, int place, const s_highscore &left);
// The replay of an entry, when its file is there, intact, of this game's
// rules, of a finished game, and its difficulty, name and score are the
// entry's.
bool LoadEntryReplay(int d, int place, s_replay *replay);
