// Frames of play, the input point, playbacks, the verifier and the replay
// window. See play.h.
#include "game/play.h"

#include <climits>
#include <cstring>
#include <vector>

#include "cgl/cgl.h"
#include "game/assets.h"
#include "game/random.h"
#include "sound/sound.h"

namespace {

s_replay *g_recording = nullptr;
s_playback *g_playing = nullptr;

// The program's own ship, generator and game state while a playback's
// frame runs in their place.
struct s_outside {
    c_player ship;
    s_randomstate random;
    int state;
};

void SwapIn(s_playback *pb, s_outside *outside) {
    outside->ship = player;
    outside->random = RandomGetState();
    outside->state = gameState;
    player = pb->ship;
    RandomSetState(pb->random);
    gameState = pb->state;
}

void SwapOut(s_playback *pb, const s_outside &outside) {
    pb->ship = player;
    pb->random = RandomGetState();
    pb->state = gameState;
    player = outside.ship;
    RandomSetState(outside.random);
    gameState = outside.state;
}

const char *DifficultyName(int d) {
    return (d >= 0 && d <= 2) ? difficultyText[d] : "?";
}

}  // namespace

// ---------------------------------------------------------------------------
// Frames of play

bool BeginPlay(int d) {
    numPlanets = d * kPlanetsPerDifficulty + kBasePlanets;
    bool laidOut = InitPlanets() && InitStars();
    player.Init();
    gameState = GAMESTATE_FADEIN;
    return laidOut;
}

void DrawPlayFrame() {
    DrawBackground();
    DrawBGStars();
    if (player.alive && player.flightMode != 0)
        player.DrawChain((int)(player.x + 16), (int)(player.y + 16), xClosestPlanet,
                         yClosestPlanet);
    DrawPlanets();
    DrawStars();
    player.Draw();
    DrawHUD();
}

void HandlePlayFrame() {
    HandlePlanets();
    HandleStars();
    player.HandleInput();
    HandleFade(&gameState);
}

s_frameinput ReadPlayInput() {
    s_frameinput in = {0, 0, 0};
    if (g_playing) {
        s_playback &pb = *g_playing;
        if (pb.run < pb.replay.runs.size()) {
            const s_inputrun &run = pb.replay.runs[pb.run];
            in = {run.held, run.pressed, run.mouseButtons};
            if (++pb.runFrame >= run.frames) {
                pb.run++;
                pb.runFrame = 0;
            }
        }
        return in;
    }
    CGL_GetKeys(&in.held, &in.pressed);
    int mx = 0, my = 0;
    CGL_GetMouse(&mx, &my, &in.mouseButtons);
    // Only what play reads: the same in the game and in its recording.
    in.held &= kPlayHeldKeys;
    in.pressed &= kPlayPressedKeys;
    in.mouseButtons &= kPlayMouseButtons;
    if (g_recording) ReplayRecordInput(g_recording, in);
    return in;
}

void SetPlayRecording(s_replay *recording) {
    g_recording = recording;
}

// ---------------------------------------------------------------------------
// Playback

void PlaybackBegin(s_playback *pb) {
    pb->frame = 0;
    pb->run = 0;
    pb->runFrame = 0;
    pb->mismatch = 0;
    pb->over = false;
    pb->endedEarly = false;
    pb->noField = false;
    pb->ship = player;
    // The watcher's bests are not those of the one who played: a watched
    // game never announces a new personal score.
    for (int &best : pb->ship.bestScore) best = INT_MAX;
    pb->random = pb->replay.random;
    pb->state = gameState;
    s_outside outside;
    SwapIn(pb, &outside);
    fade = pb->replay.startFade;
    if (!BeginPlay(pb->replay.difficulty)) {
        pb->noField = true;
        pb->over = true;
    }
    SwapOut(pb, outside);
}

bool PlaybackFrame(s_playback *pb, bool draw) {
    if (pb->over) return false;
    s_outside outside;
    SwapIn(pb, &outside);
    g_playing = pb;
    if (draw)
        DrawPlayFrame();
    else
        AdvancePlanets();
    HandlePlayFrame();
    g_playing = nullptr;

    const s_replay &r = pb->replay;
    uint32_t n = ++pb->frame;
    bool checked = n % kReplayHashInterval == 0;
    if (checked && !pb->mismatch && StateHash() != r.hashes[n / kReplayHashInterval - 1])
        pb->mismatch = n;
    if (n >= r.frames) {
        pb->over = true;
        bool agrees =
            gameState == r.endState && player.score == r.score && StateHash() == r.hashes.back();
        if (!agrees && !pb->mismatch) pb->mismatch = n;
    } else if (gameState > 89) {
        pb->over = true;
        pb->endedEarly = true;
        if (!pb->mismatch) pb->mismatch = n;
    }
    SwapOut(pb, outside);
    return true;
}

bool PlaybackAgreed(const s_playback &pb) {
    return pb.over && !pb.mismatch;
}

// ---------------------------------------------------------------------------
// The verifier

namespace {

// The verdict after "<file>: ", for the verifier and the window alike.
void PrintVerdict(std::FILE *out, const s_playback &pb) {
    const s_replay &r = pb.replay;
    if (PlaybackAgreed(pb))
        std::fprintf(out, "ok\n");
    else if (pb.endedEarly)
        std::fprintf(out, "differs at frame %u: the game ended there, the replay at %u\n",
                     pb.mismatch, r.frames);
    else if (pb.mismatch >= r.frames)
        std::fprintf(out, "differs at frame %u: it ends in state %d with score %d\n", pb.mismatch,
                     pb.state, pb.ship.score);
    else
        std::fprintf(out, "differs at frame %u: the state is not the recorded one\n", pb.mismatch);
}

// "<file>: <name>, <difficulty>, score <n>, <frames> frames[, unfinished (...)]: "
void PrintReplayLine(std::FILE *out, const std::string &shownPath, const s_replay &r) {
    const char *ending = ReplayEndingText(r);
    std::fprintf(out, "%s: %s, %s, score %d, %u frames%s%s: ", shownPath.c_str(),
                 ReplayShownText(r.name).c_str(), DifficultyName(r.difficulty), r.score, r.frames,
                 *ending ? ", " : "", ending);
}

}  // namespace

int VerifyReplayFiles(int count, const char *const *paths, std::FILE *out) {
    int status = 0;
    // A replay is large (the tables of a whole game): one, reused.
    static s_playback pb;
    for (int i = 0; i < count; i++) {
        const char *path = paths[i];
        // Names and paths are whatever bytes they hold: one line per file.
        std::string shown = ReplayShownText(path);
        std::string error;
        int loaded = ReplayLoad(path, &pb.replay, &error);
        if (loaded <= 0) {
            std::fprintf(out, "%s: %s%s\n", shown.c_str(),
                         loaded == 0 ? "cannot read: " : "refused: ", error.c_str());
            status = 2;
            continue;
        }
        PlaybackBegin(&pb);
        if (pb.noField) {
            std::fprintf(out, "%s: cannot read: damaged: its generator state lays out no field\n",
                         shown.c_str());
            status = 2;
            continue;
        }
        PrintReplayLine(out, shown, pb.replay);
        while (PlaybackFrame(&pb, false) && !pb.mismatch) {
        }
        if (!PlaybackAgreed(pb) && status == 0) status = 1;
        PrintVerdict(out, pb);
    }
    return status;
}

// ---------------------------------------------------------------------------
// A replay in the window

namespace {

// Draws the playback's present state again without moving it on: the
// planets' countdown and the game state that drawing touches are put back.
void DrawStill(s_playback *pb) {
    s_outside outside;
    SwapIn(pb, &outside);
    int timers[kMaxPlanets];
    for (int i = 0; i < kMaxPlanets; i++) timers[i] = planet[i].explodeTimer;
    int state = gameState;
    DrawPlayFrame();
    for (int i = 0; i < kMaxPlanets; i++) planet[i].explodeTimer = timers[i];
    gameState = state;
    SwapOut(pb, outside);
}

}  // namespace

void DrawReplayLabel(const s_replay &r, const char *what) {
    CGL_DrawCenteredText(16, font_game2, "%s - %s - %s %05d", what, DifficultyName(r.difficulty),
                         r.name, r.score);
}

int WatchReplayFile(const char *path) {
    static s_playback pb;
    std::string error, shown = ReplayShownText(path);
    int loaded = ReplayLoad(path, &pb.replay, &error);
    if (loaded <= 0) {
        std::printf("%s: %s%s\n", shown.c_str(),
                    loaded == 0 ? "cannot read: " : "refused: ", error.c_str());
        return 2;
    }
    PlaybackBegin(&pb);
    if (pb.noField) {
        std::printf("%s: cannot read: damaged: its generator state lays out no field\n",
                    shown.c_str());
        return 2;
    }
    std::printf("- Watching %s: %s, %s, score %d\n", shown.c_str(),
                ReplayShownText(pb.replay.name).c_str(), DifficultyName(pb.replay.difficulty),
                pb.replay.score);
    bool paused = false, reported = false;
    int afterEnd = 0;
    for (;;) {
        CGL_WaitRefresh();
        int held = 0, pressed = 0;
        CGL_GetKeys(&held, &pressed);
        if (pressed & CGL_KEY_ESCAPE) break;
        if (pressed & CGL_KEY_BUTTON1) paused = !paused;
        // The picture of the end stays up for two seconds.
        if (pb.over && ++afterEnd > 120) break;

        int steps = (paused || pb.over) ? 0 : ((held & CGL_KEY_RIGHT) ? 4 : 1);
        for (int i = 1; i < steps; i++) PlaybackFrame(&pb, false);
        if (steps > 0)
            PlaybackFrame(&pb, true);
        else
            DrawStill(&pb);
        DrawReplayLabel(pb.replay, paused ? "PAUSED" : (steps > 1 ? "REPLAY X4" : "REPLAY"));
        // A recording that did not see its game end says so over its last picture.
        if (pb.over && pb.replay.ending == kReplayClosed)
            CGL_DrawCenteredText(96, font_game2, "THE GAME WAS CLOSED HERE");
        else if (pb.over && pb.replay.ending == kReplayFull)
            CGL_DrawCenteredText(96, font_game2, "FOUR HOURS RECORDED - THE GAME WENT ON");
        if (pb.mismatch && !reported) {
            std::printf("%s: the game differs from the recorded one at frame %u\n", shown.c_str(),
                        pb.mismatch);
            reported = true;
        }
        CGL_SetFadeValue(fade);
        CGL_SwapBuffers();
        currentFrame++;
    }
    // The whole game's verdict once it has been seen to its end.
    if (pb.over) {
        std::printf("- Watched ");
        PrintReplayLine(stdout, shown, pb.replay);
        PrintVerdict(stdout, pb);
    } else {
        std::printf("- Left %s at frame %u of %u\n", shown.c_str(), pb.frame, pb.replay.frames);
    }
    return pb.mismatch ? 1 : 0;
}
