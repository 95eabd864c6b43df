// Highscores: the three tables, highscore.dat, ranking and the name entry.
//
// One table of ten places per difficulty, place 1 first. The tables, the
// player's last name and his best score per difficulty live in the file
// highscore.dat in the program's save folder (CGL_GetSaveFolder), 2116
// bytes, all numbers little-endian:
//
//   0     64          player.name, the whole field
//   64    3 x 4       player.bestScore[0..2]
//   76    3 x 10 x 68 the tables, EASY first: a 64-byte name, a 4-byte score
//
// Depends on: game/header.h (player, fade, currentFrame), game/title.h (the
// scrolling backdrop the name entry shares with the title screen), cgl, and
// game/assets.h for the fonts.
#pragma once

constexpr int kHighscoreTables = 3;
constexpr int kHighscorePlaces = 10;
constexpr int kHighscoreNameSize = 64;
constexpr int kHighscoreEntrySize = kHighscoreNameSize + 4;
constexpr int kHighscoreTablesOffset = 76;
constexpr int kHighscoreFileSize =
    kHighscoreTablesOffset + kHighscoreTables * kHighscorePlaces * kHighscoreEntrySize;
// The name entry holds at most this many characters; further letters
// replace the last one.
constexpr int kNameEntryMaxLength = 62;

struct s_highscore {
    char name[kHighscoreNameSize];
    int score;
};

extern s_highscore highscores[kHighscoreTables][kHighscorePlaces];
extern const char *const highscore_filename;  // "highscore.dat"

// Default tables (2000 down to 200) and an empty player name.
void InitHighscores();
// Reads highscore.dat from the save folder over the current values; a
// missing file changes nothing.
void LoadHighscores();
// Writes highscore.dat into the save folder. Returns 1 when the file was
// replaced, 0 otherwise.
int SaveHighscores();
// The same on any path; the save goes through path + ".tmp" and a rename,
// or is written in place when path is a symbolic link or the ".tmp" file
// cannot be created.
void LoadHighscoresFrom(const char *path);
int SaveHighscoresTo(const char *path);

// Ranks score into table d. Equal scores go above the old entry; a score
// below all ten takes place 10. Returns the score.
int InsertHighscore(const char *name, int score, int d);

// The name-entry screen: runs until Enter is accepted and its fade-out has
// ended, or the window is closed; the name is left in player.name.
void EnterHighscoreScreen();

// One name entry's state, apart from its frame loop so that the key rules
// can be driven frame by frame.
struct s_nameentry {
    int fadeState;  // for HandleFade: 1 fading in, 0 typing, 3 fading out, 90 done
    int length;     // characters in player.name
};

// Sets fade to 0 and starts the fade-in; offers the current player.name.
void NameEntryBegin(s_nameentry *entry);
// Applies one key code (CGL_KEYCODE_..., or a letter code) to player.name.
// Only a changed code while the screen is not fading counts.
void NameEntryKey(s_nameentry *entry, int code, int changed);
// One frame's key: reads the key reader (CGL_GetKeycode) and applies it.
void NameEntryReadKey(s_nameentry *entry);
// Draws the texts and the name with its blinking cursor.
void NameEntryDraw(const s_nameentry *entry);
