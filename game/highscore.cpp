// Highscores: default tables, highscore.dat, ranking and the name entry.
//
// The file is encoded into one buffer of its exact size and decoded from
// one, so every field is placed by its offset and never by the layout of a
// struct in memory. Saving writes a sibling file, syncs it and renames it
// over the old one: a crash, a kill or a full disk in the middle of a save
// leaves the previous file whole. Only where the folder takes no new file
// (we may not write into it), or the file is a symbolic link, is it written
// in place as a plain save would; any other failure keeps the old file.
#include "game/highscore.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "cgl/cgl.h"
#include "corefile/corefile.h"
#include "game/assets.h"
#include "game/header.h"
#include "game/title.h"

s_highscore highscores[kHighscoreTables][kHighscorePlaces];
const char *const highscore_filename = "highscore.dat";

namespace {

// Our own pilots, all within the letters the fonts carry.
const char *const kDefaultNames[kHighscorePlaces] = {
    "NOVA", "PULSAR", "QUASAR", "COMET", "NEBULA", "ORBIT", "ZENITH", "AURORA", "GALAXY", "METEOR",
};

void PutInt(unsigned char *p, int value) {
    uint32_t v = static_cast<uint32_t>(value);
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

int GetInt(const unsigned char *p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return static_cast<int>(v);
}

int EntryOffset(int d, int k) {
    return kHighscoreTablesOffset + d * kHighscorePlaces * kHighscoreEntrySize +
           k * kHighscoreEntrySize;
}

void Encode(unsigned char *file) {
    std::memcpy(file, player.name, kHighscoreNameSize);
    for (int i = 0; i < 3; i++) PutInt(file + 64 + 4 * i, player.bestScore[i]);
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            unsigned char *p = file + EntryOffset(d, k);
            std::memcpy(p, highscores[d][k].name, kHighscoreNameSize);
            PutInt(p + kHighscoreNameSize, highscores[d][k].score);
        }
    }
}

// A name field from the file may lack its zero; its last byte is cut so
// that drawing and comparing stop inside the field.
void LoadName(char *field, const unsigned char *p) {
    std::memcpy(field, p, kHighscoreNameSize);
    field[kHighscoreNameSize - 1] = 0;
}

// Applies every field that lies wholly within the first `size` bytes; a
// short file leaves the fields after its end as they were.
void Decode(const unsigned char *file, int size) {
    if (size >= kHighscoreNameSize) LoadName(player.name, file);
    for (int i = 0; i < 3; i++) {
        if (size >= 64 + 4 * (i + 1)) player.bestScore[i] = GetInt(file + 64 + 4 * i);
    }
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            int at = EntryOffset(d, k);
            if (size >= at + kHighscoreNameSize) LoadName(highscores[d][k].name, file + at);
            if (size >= at + kHighscoreEntrySize)
                highscores[d][k].score = GetInt(file + at + kHighscoreNameSize);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Tables and file
// ---------------------------------------------------------------------------

void InitHighscores() {
    for (int d = 0; d < kHighscoreTables; d++) {
        for (int k = 0; k < kHighscorePlaces; k++) {
            std::memset(highscores[d][k].name, 0, kHighscoreNameSize);
            std::snprintf(highscores[d][k].name, kHighscoreNameSize, "%s", kDefaultNames[k]);
            highscores[d][k].score = 2000 - 200 * k;
        }
    }
    std::memset(player.name, 0, sizeof(player.name));
}

void LoadHighscoresFrom(const char *path) {
    std::FILE *f = corefile_fopen(path, "rb");
    if (!f) return;  // no file yet: the defaults stay

    // One byte more than the file should hold tells a long file apart.
    unsigned char file[kHighscoreFileSize + 1];
    size_t got = std::fread(file, 1, sizeof(file), f);
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        std::printf("%s: read error, the highscores keep their defaults\n", path);
        return;
    }
    int size = static_cast<int>(got);
    if (size < kHighscoreFileSize) {
        std::printf("%s: only %d of %d bytes, the missing fields keep their defaults\n", path, size,
                    kHighscoreFileSize);
    } else if (size > kHighscoreFileSize) {
        std::printf("%s: longer than %d bytes, the rest is ignored\n", path, kHighscoreFileSize);
        size = kHighscoreFileSize;
    }
    Decode(file, size);
}

int SaveHighscoresTo(const char *path) {
    unsigned char file[kHighscoreFileSize];
    Encode(file);
    return corefile_savefile(path, file, sizeof file);
}

void LoadHighscores() {
    LoadHighscoresFrom((std::string(CGL_GetSaveFolder()) + highscore_filename).c_str());
}

int SaveHighscores() {
    return SaveHighscoresTo((std::string(CGL_GetSaveFolder()) + highscore_filename).c_str());
}

// ---------------------------------------------------------------------------
// Ranking
// ---------------------------------------------------------------------------

int InsertHighscore(const char *name, int score, int d) {
    if (d < 0 || d >= kHighscoreTables) {
        std::printf("InsertHighscore: no table for difficulty %d\n", d);
        return score;
    }
    s_highscore *table = highscores[d];
    // Walking upwards and taking every place the score equals or beats
    // lands above the highest equal score.
    int place = kHighscorePlaces - 1;
    for (int k = kHighscorePlaces - 1; k >= 0; k--) {
        if (score >= table[k].score) place = k;
    }
    for (int k = kHighscorePlaces - 1; k > place; k--) table[k] = table[k - 1];
    std::memset(table[place].name, 0, kHighscoreNameSize);
    if (name) std::strncpy(table[place].name, name, kHighscoreNameSize - 1);
    table[place].score = score;
    return score;
}

// ---------------------------------------------------------------------------
// Name entry
// ---------------------------------------------------------------------------

void NameEntryBegin(s_nameentry *entry) {
    fade = 0;
    entry->fadeState = GAMESTATE_FADEIN;
    player.name[sizeof(player.name) - 1] = 0;
    entry->length = static_cast<int>(std::strlen(player.name));
}

void NameEntryKey(s_nameentry *entry, int code, int changed) {
    if (entry->fadeState != GAMESTATE_PLAY || !changed) return;

    int letter = 0;
    // Letters arrive as upper-case codes whatever Shift says. The codes 97
    // to 122 are not lower-case letters here but the keypad's digits and
    // operators (and F-keys), so they are ignored like the other digits.
    if (code >= 'A' && code <= 'Z') {
        letter = code;
    } else if (code == CGL_KEYCODE_SPACE) {
        letter = ' ';
    } else if (code == CGL_KEYCODE_ENTER) {
        entry->fadeState = GAMESTATE_FADEOUT;
        return;
    } else if (code == CGL_KEYCODE_BACKSPACE) {
        if (entry->length > 0) entry->length--;
        player.name[entry->length] = 0;
        return;
    } else {
        return;  // digits and every other key
    }
    // A full name (or a longer one from the file) takes the new letter in
    // its last place, so the latest letter typed is always the one shown.
    if (entry->length >= kNameEntryMaxLength) entry->length = kNameEntryMaxLength - 1;
    player.name[entry->length] = static_cast<char>(letter);
    entry->length++;
    player.name[entry->length] = 0;
}

void NameEntryReadKey(s_nameentry *entry) {
    // Every key typed since the last frame, in order, so that a fast
    // typist's name arrives whole. The keys are read in every frame, fading
    // or not, so that keys that went down before the entry or while the
    // screen faded in do not count once it is over.
    int code = 0, changed = 0;
    for (unsigned n = 0; n <= CGL_KEYQUEUE_SIZE; n++) {
        CGL_GetKeycode(&code, &changed);
        if (!changed) break;
        NameEntryKey(entry, code, changed);
    }
}

void NameEntryDraw(const s_nameentry *entry) {
    CGL_DrawCenteredText(32, font_game, "-= NEW HIGHSCORE =-");
    CGL_DrawCenteredText(72, font_game2, "CONGRATULATIONS! YOU HAVE A NEW HIGHSCORE!");
    CGL_DrawCenteredText(104, font_game, "%05d", player.score);
    CGL_DrawCenteredText(152, font_game2, "PLEASE ENTER YOUR NAME BELOW:");

    char shown[kHighscoreNameSize + 1];
    int length = entry->length;
    if (length < 0) length = 0;
    if (length > kHighscoreNameSize - 1) length = kHighscoreNameSize - 1;
    std::memcpy(shown, player.name, length);
    shown[length] = (currentFrame % 32 <= 15) ? '_' : ' ';
    shown[length + 1] = 0;
    // The name is user text: it goes through "%s", never as the format.
    CGL_DrawText(180 - 3 * (length + 1), 184, font_game, "%s", shown);
}

void EnterHighscoreScreen() {
    s_nameentry entry;
    NameEntryBegin(&entry);
    do {
        CGL_WaitRefresh();
        DrawTitleBackdrop();
        NameEntryDraw(&entry);
        NameEntryReadKey(&entry);
        HandleFade(&entry.fadeState);
        CGL_SetFadeValue(fade);
        CGL_SwapBuffers();
        currentFrame++;
    } while (entry.fadeState <= 89 && !CGL_CloseRequested());  // a close takes the name as it is
}
