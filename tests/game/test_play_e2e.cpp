// End to end: the real program, with its threads, frame loop and event
// handler, plays a scripted game. The test runs the program in a child
// process (closing its window ends the process), in a scratch directory so
// that its highscore.dat stays apart.
//
// In the child, the millisecond clock is replaced by a counter (frames run
// as fast as they can be drawn, and the random seed taken from the clock is
// always the same), and the hook the presenting step calls before each swap
// hands the game's state to a driver thread and waits. The driver decides
// the input of the next frame like a player would (start from the title,
// fly, hold Space or the mouse button near a planet to latch and swing,
// release to slingshot, then steer into a planet), pushes it as SDL events,
// waits until the main thread's event handler has taken them, and lets the
// frame go on. It writes what it saw to a results file, then quits from the
// title screen.
#include "game/header.h"
#include "game/highscore.h"
#include "game/title.h"
#include "common/gl_fixture.h"
#include "common/virtual_pad.h"
#include "cgl/cgl.h"
#include "cgl/desktop.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

extern char **environ;

// Under the sanitizers a run takes minutes: the repeat run is left out there.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

namespace {

// ---------------------------------------------------------------------------
// Child side: clock, lockstep hook and driver

std::atomic<uint32_t> g_fakeMillis{5000};
uint32_t FakeClock() {
    return g_fakeMillis.fetch_add(1, std::memory_order_relaxed);
}

struct Snapshot {
    int frame, gameState;
    float fade;
    int scrollx, scrolly;
    float x, y, angle, speed;
    int flightMode;
    bool alive;
    int score, combo;
    float dist;
    int xcp, ycp;
    int page;
};

std::mutex g_lock;
std::condition_variable g_wake;
bool g_haveSnapshot = false, g_go = false;
Snapshot g_snapshot;
std::string g_shot;  // screenshot asked for this frame
std::string g_shotDir;

// Runs on the game thread once per presented frame, with the window's
// back buffer holding the frame.
void BeforeSwap() {
    Snapshot s{currentFrame,   gameState,      fade,         scrollx,           scrolly,
               player.x,       player.y,       player.angle, player.speed,      player.flightMode,
               player.alive,   player.score,   player.combo, distClosestPlanet, xClosestPlanet,
               yClosestPlanet, titlestate.page};
    std::string shot;
    {
        std::unique_lock<std::mutex> lock(g_lock);
        g_snapshot = s;
        g_haveSnapshot = true;
        g_go = false;
        g_wake.notify_all();
        g_wake.wait(lock, [] { return g_go; });
        shot = g_shot;
        g_shot.clear();
    }
    if (!shot.empty()) gl_save_png(g_shotDir + "/" + shot, CGL_video.width, CGL_video.height);
}

struct KeyName {
    int vk;
    SDL_Keycode sym;
};
const KeyName kSpace{32, SDLK_SPACE}, kLeft{37, SDLK_LEFT}, kRight{39, SDLK_RIGHT},
    kEnter{13, SDLK_RETURN}, kEscape{27, SDLK_ESCAPE};

// Pushes an event and waits until the main thread's handler has applied it,
// pushing it again each second it is not: a window of another test on the same
// display can take the focus between the push and the check, and the focus's
// loss lets the buttons go. A run whose input never arrives ends with a line
// instead of waiting for the parent's time-out.
template <typename Applied>
void WaitApplied(SDL_Event e, Applied applied) {
    for (int attempt = 0; attempt < 60 && !applied(); attempt++) {
        SDL_PushEvent(&e);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (!applied() && std::chrono::steady_clock::now() < until) std::this_thread::yield();
    }
    if (!applied()) {
        printf("the event %#x was never applied\n", e.type);
        fflush(stdout);
        _exit(5);
    }
}

// The child's window keeps the focus as far as the game can tell, so that
// other tests' windows on the same display cannot change its input.
int DropFocusEvents(void *, SDL_Event *e) {
    return !(e->type == SDL_WINDOWEVENT && (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST ||
                                            e->window.event == SDL_WINDOWEVENT_FOCUS_GAINED));
}

// Pushes a key or mouse event and waits until the main thread's handler has
// applied it.
void SetKey(const KeyName &k, bool down) {
    if ((sdl_asynckeys[k.vk].load() != 0) == down) return;
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.sym = k.sym;
    e.key.keysym.scancode = SDL_GetScancodeFromKey(k.sym);
    WaitApplied(e, [&] { return (sdl_asynckeys[k.vk].load() != 0) == down; });
}

void SetMouse(bool down) {
    if (((cgl_mouse_buttons.load() & 1) != 0) == down) return;
    SDL_Event e;
    SDL_zero(e);
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = SDL_BUTTON_LEFT;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    WaitApplied(e, [&] { return ((cgl_mouse_buttons.load() & 1) != 0) == down; });
}

// The pad run plays with a virtual gamepad only: A for Space (and the mouse
// button), Left on the D-pad, Right on the stick, Start for Enter, B for
// Escape.
bool g_pad = false;
SDL_Joystick *g_padJoy = nullptr;

// Plugs the pad in or pulls it out, and waits until the shell has seen it.
void PlugPad(bool in) {
    if (!in) virtualpad_detach(g_padJoy);
    g_padJoy = in ? virtualpad_attach(1, true) : nullptr;
    while ((g_padJoy || !in) && sdl_numgamepads() != (in ? 1 : 0)) std::this_thread::yield();
}

// Sets the pad and waits until the pads' key table shows it.
void SetPad(bool a, bool left, bool right, bool start, bool b) {
    if (!g_padJoy) return;
    const int buttons[] = {kPadA, kPadDpadLeft, kPadStart, kPadB}, vks[] = {32, 37, 13, 27, 39};
    const bool down[] = {a, left, start, b, right};
    for (int i = 0; i < 4; i++) SDL_JoystickSetVirtualButton(g_padJoy, buttons[i], down[i]);
    SDL_JoystickSetVirtualAxis(g_padJoy, 0, right ? 32767 : 0);
    for (int i = 0; i < 5; i++)
        while (sdl_padkeydown(vks[i]) != down[i]) std::this_thread::yield();
}

// Signed difference b - a of two headings, in -180..180.
float HeadingDiff(float a, float b) {
    float d = std::fmod(b - a + 540.0f, 360.0f) - 180.0f;
    return d;
}

// Heading from the ship's centre to the closest planet's centre.
float BearingToPlanet(const Snapshot &s) {
    double ddx = s.xcp - (s.x + 16), ddy = s.ycp - (s.y + 16);
    double a = std::atan2(ddx, -ddy) * 180.0 / M_PI;
    return (float)(a < 0 ? a + 360 : a);
}

void Driver(const std::string &resultsPath) {
    enum Phase { TITLE, GAME, AFTER } phase = TITLE;
    enum Plan { CRUISE, SEEK, SWING, COAST, CRASH } plan = CRUISE;
    int gameStart = -1, crashFrame = -1, endFrame = -1, afterStart = -1, fadedIn = -1;
    int latches = 0, slingshots = 0, pickups = 0, maxCombo = 0, expectedScore = 0;
    int planStart = 0, latchedFrames = 0, endState = 0, score = 0;
    int unplugFrame = -1, releasedOnUnplug = 0, replugs = 0, titleStart = -1, nameEntry = 0,
        highscorePage = 0;
    bool prevAlive = true;
    int prevCombo = 0;
    bool useMouse = false, quitting = false;
    std::map<std::string, int> shots;
    // A line per frame of play, for whoever has to find out why a run went
    // another way.
    FILE *trace = fopen("trace.txt", "w");
    if (g_pad) PlugPad(true);

    for (;;) {
        Snapshot s;
        {
            std::unique_lock<std::mutex> lock(g_lock);
            if (!g_wake.wait_for(lock, std::chrono::seconds(60), [] { return g_haveSnapshot; }))
                return;  // the program has ended
            g_haveSnapshot = false;
            s = g_snapshot;
        }
        std::string shot;
        bool space = false, left = false, right = false, mouse = false, enter = false,
             escape = false;

        if (phase == TITLE) {
            // Skip the intro, then start the game at the default difficulty.
            space = s.frame == 70;
            enter = s.frame == 120;
            if (s.gameState == GAMESTATE_FADEIN) {
                phase = GAME;
                gameStart = s.frame;
                planStart = s.frame;
            }
        }
        if (phase == GAME) {
            if (s.combo > prevCombo) {
                int k = s.combo - prevCombo;
                pickups += k;
                for (int j = 1; j <= k; j++) expectedScore += prevCombo + j;
            }
            if (s.combo > maxCombo) maxCombo = s.combo;
            prevCombo = s.combo;
            if (prevAlive && !s.alive) crashFrame = s.frame;
            if (fadedIn < 0 && s.gameState == GAMESTATE_PLAY) fadedIn = s.frame;
            prevAlive = s.alive;
            score = s.score;
            if (unplugFrame >= 0 && s.frame == unplugFrame + 1)
                releasedOnUnplug = s.flightMode == 0;

            int age = s.frame - planStart;
            if (trace)
                fprintf(trace,
                        "%d plan %d state %d pos %.2f %.2f angle %.2f speed %.3f mode %d alive %d "
                        "score %d combo %d dist %.2f planet %d %d\n",
                        s.frame, (int)plan, s.gameState, s.x, s.y, s.angle, s.speed, s.flightMode,
                        s.alive, s.score, s.combo, s.dist, s.xcp, s.ycp);
            float toPlanet = HeadingDiff(s.angle, BearingToPlanet(s));
            double centreDist = std::hypot(s.xcp - (s.x + 16), s.ycp - (s.y + 16));
            switch (plan) {
                case CRUISE:
                    if (age >= 60) {
                        plan = SEEK;
                        planStart = s.frame;
                    }
                    break;
                case SEEK:
                    // Roam; latch onto a planet that passes abeam within
                    // range, and turn away from one dead ahead.
                    if (s.dist < 175 && s.flightMode == 0 && std::fabs(toPlanet) >= 50 &&
                        std::fabs(toPlanet) <= 130) {
                        plan = SWING;
                        planStart = s.frame;
                        latches++;
                        useMouse = latches == 2;
                    } else if (centreDist < 220 && std::fabs(toPlanet) < 50) {
                        left = toPlanet >= 0;
                        right = toPlanet < 0;
                    }
                    break;
                case SWING:
                    if (s.flightMode != 0) latchedFrames++;
                    if (age >= 150 || (age > 2 && s.flightMode == 0) || centreDist < 55) {
                        plan = COAST;  // release: the slingshot
                        planStart = s.frame;
                        slingshots++;
                    } else {
                        (useMouse ? mouse : space) = true;
                    }
                    if (age == 40) shot = "play_e2e_swing" + std::to_string(latches) + ".png";
                    // The pad is pulled out mid-swing, A held: the latch
                    // must let go in the next frame.
                    if (g_pad && latches == 1 && age == 10) {
                        PlugPad(false);
                        unplugFrame = s.frame;
                    }
                    break;
                case COAST:
                    if (g_pad && !g_padJoy) {
                        PlugPad(true);
                        replugs++;
                    }
                    if (age >= 60) {
                        plan = slingshots >= 2 ? CRASH : SEEK;
                        planStart = s.frame;
                    }
                    break;
                case CRASH:
                    // Steer at the closest planet; latching onto one dead
                    // ahead keeps turning the ship back at it.
                    if (s.alive) {
                        left = toPlanet < 0;
                        right = toPlanet > 0;
                        space = s.dist < 175 && std::fabs(toPlanet) < 40;
                    }
                    break;
            }
            if (s.frame == gameStart + 80) shot = "play_e2e_start.png";
            if (crashFrame >= 0 && s.frame == crashFrame + 12) shot = "play_e2e_crash.png";
            // A few frames after the first pick-up: its burst under way.
            if (s.combo > 0 && s.combo != shots["combo"]) shots["lastPickup"] = s.frame;
            shots["combo"] = s.combo;
            if (!shots.count("pickupShot") && shots.count("lastPickup") &&
                s.frame == shots["lastPickup"] + 5 && s.fade > 0.9f) {
                shots["pickupShot"] = s.frame;
                shot = "play_e2e_pickup.png";
            }
            if (s.frame == gameStart + 400) shot = "play_e2e_later.png";
            if (s.gameState > 89) {
                endFrame = s.frame;
                endState = s.gameState;
                phase = AFTER;
                afterStart = s.frame;
            }
            // Give up on a game that will not end by itself.
            if (s.frame - gameStart > 6000 && !quitting) {
                escape = true;
                quitting = true;
            }
        } else if (phase == AFTER) {
            int age = s.frame - afterStart;
            bool write = age == 52;
            if (s.gameState > 89) {
                // The name entry, if the score made the table; the pad's A
                // confirms the name offered.
                (g_pad ? space : enter) = age == 70;
                nameEntry = nameEntry || age == 70;
            } else if (!g_pad) {
                escape = age >= 55 && age < 57;  // the title screen: quit
            } else {
                // From the highscore page, B to the main page, B to quit.
                if (titleStart < 0) titleStart = s.frame;
                int t = s.frame - titleStart;
                if (s.page == TITLE_HIGHSCORES && t == 59) highscorePage = 1;
                escape = (t >= 60 && t < 62) || (t >= 80 && t < 82);
                write = t == 80;
            }
            if (write) {
                if (trace) fclose(trace);
                trace = nullptr;
                std::ofstream out(resultsPath);
                out << "gameStart " << gameStart << "\nfadedIn " << fadedIn << "\ncrashFrame "
                    << crashFrame << "\nendFrame " << endFrame << "\nendState " << endState
                    << "\nscore " << score << "\nexpectedScore " << expectedScore << "\npickups "
                    << pickups << "\nmaxCombo " << maxCombo << "\nlatches " << latches
                    << "\nlatchedFrames " << latchedFrames << "\nslingshots " << slingshots
                    << "\nreleasedOnUnplug " << releasedOnUnplug << "\nreplugs " << replugs
                    << "\nnameEntry " << nameEntry << "\nhighscorePage " << highscorePage << "\n";
            }
        }

        if (g_pad) {
            SetPad(space || mouse, left, right, enter, escape);
        } else {
            SetKey(kSpace, space);
            SetKey(kLeft, left);
            SetKey(kRight, right);
            SetKey(kEnter, enter);
            SetKey(kEscape, escape);
            SetMouse(mouse);
        }
        {
            std::lock_guard<std::mutex> lock(g_lock);
            g_shot = shot;
            g_go = true;
            g_wake.notify_all();
        }
    }
}

// The child's whole life: the program as shipped, with the clock and the
// frame hook of this file.
[[noreturn]] void RunChild(const std::string &dir) {
    g_shotDir = dir;
    g_pad = getenv("QO_PLAY_E2E_PAD") != nullptr;
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (chdir(dir.c_str()) != 0) _exit(4);
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!sdl_startup()) _exit(3);
    sdl_clock = FakeClock;
    cgl_beforeswap = BeforeSwap;
    SDL_SetEventFilter(DropFocusEvents, nullptr);
    std::thread driver(Driver, dir + "/results.txt");
    driver.detach();
    int rc = sdl_run([] {
        coremain();
        sdl_requestclose();
    });
    fflush(stdout);
    _exit(rc);
}

// ---------------------------------------------------------------------------
// Parent side

std::map<std::string, int> ReadResults(const std::string &path) {
    std::map<std::string, int> r;
    std::ifstream in(path);
    std::string key;
    int value;
    while (in >> key >> value) r[key] = value;
    return r;
}

// Runs the program once in dir; returns its wait status, or -1 on a time-out.
int RunProgram(const std::string &dir, bool pad = false) {
    mkdir(dir.c_str(), 0755);
    for (const char *name :
         {"results.txt", "trace.txt", "play_e2e_start.png", "play_e2e_swing1.png",
          "play_e2e_swing2.png", "play_e2e_pickup.png", "play_e2e_crash.png", "play_e2e_later.png"})
        unlink((dir + "/" + name).c_str());
    unlink((dir + "/highscore.dat").c_str());
    if (pad) {  // a MEDIUM table any score makes, and a name to offer
        InitHighscores();
        for (s_highscore &entry : highscores[1]) entry.score = 0;
        std::strcpy(player.name, "PADDY");
        SaveHighscoresTo((dir + "/highscore.dat").c_str());
    }
    std::string image = std::string(QO_BINARY_DIR) + "/qostarfold.dat";
    unlink((dir + "/qostarfold.dat").c_str());
    if (symlink(image.c_str(), (dir + "/qostarfold.dat").c_str()) != 0) return -2;

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (dir + "/stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::string self = "/proc/self/exe";
    char arg0[] = "test_game";
    char arg1[] = "--gtest_filter=PlayE2EChild.DISABLED_RunsTheProgram";
    char arg2[] = "--gtest_also_run_disabled_tests";
    char *argv[] = {arg0, arg1, arg2, nullptr};
    setenv("QO_PLAY_E2E_DIR", dir.c_str(), 1);
    if (pad) setenv("QO_PLAY_E2E_PAD", "1", 1);
    // The pump may end the process before it has joined the game thread
    // that asked for the close; that is no leak to fail the run for.
    const char *tsan = getenv("TSAN_OPTIONS");
    std::string savedTsan = tsan ? tsan : "";
    setenv("TSAN_OPTIONS", (savedTsan + (tsan ? ":" : "") + "report_thread_leaks=0").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    // No waiting for a (virtual) display's refresh: frames go as fast as drawn.
    setenv("vblank_mode", "0", 0);
    pid_t pid = 0;
    int err = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, environ);
    unsetenv("QO_PLAY_E2E_DIR");
    unsetenv("QO_PLAY_E2E_PAD");
    if (tsan)
        setenv("TSAN_OPTIONS", savedTsan.c_str(), 1);
    else
        unsetenv("TSAN_OPTIONS");
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) return -3;

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return status;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string Slurp(const std::string &path) {
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

TEST(PlayE2EChild, DISABLED_RunsTheProgram) {
    const char *dir = getenv("QO_PLAY_E2E_DIR");
    if (!dir) GTEST_SKIP() << "run by PlayE2E only";
    RunChild(dir);
}

TEST(PlayE2E, ScriptedGameLatchesSlingshotsScoresAndCrashes) {
    std::string dir = std::string(QO_BINARY_DIR) + "/play_e2e";
    int status = RunProgram(dir);
    std::string log = Slurp(dir + "/stdout.txt");
    ASSERT_GE(status, 0) << "the program did not finish\n" << log;
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status) << "\n" << log;
    EXPECT_EQ(WEXITSTATUS(status), 0) << log;

    std::map<std::string, int> r = ReadResults(dir + "/results.txt");
    ASSERT_FALSE(r.empty()) << "no results\n" << log;
    // Intro skipped at 70, Enter at 120, then the title fades out.
    EXPECT_GT(r["gameStart"], 120);
    // The fade-in takes 51 steps; play (state 0) begins in the frame after.
    EXPECT_EQ(r["fadedIn"], r["gameStart"] + 51);
    EXPECT_EQ(r["latches"], 2);
    EXPECT_EQ(r["slingshots"], 2);
    EXPECT_GT(r["latchedFrames"], 20);
    EXPECT_GT(r["pickups"], 0);
    EXPECT_EQ(r["score"], r["expectedScore"]);
    EXPECT_GE(r["score"], r["pickups"]);
    // The crash ends the game in the 63rd frame after the crash frame.
    ASSERT_GT(r["crashFrame"], r["gameStart"]);
    EXPECT_EQ(r["endFrame"], r["crashFrame"] + 63);
    EXPECT_EQ(r["endState"], GAMESTATE_CRASHED);

    // The highscores were written, at the end of the game and at the end.
    struct stat st {};
    ASSERT_EQ(stat((dir + "/highscore.dat").c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 2116);

    // The same seed and the same input give the same game.
    if (kSanitized) return;
    std::string first = Slurp(dir + "/results.txt");
    std::string dir2 = dir + "_again";
    status = RunProgram(dir2);
    ASSERT_GE(status, 0);
    EXPECT_EQ(Slurp(dir2 + "/results.txt"), first);
}

TEST(PlayE2E, PadAloneFromTheIntroThroughAGameToTheHighscoresAndQuit) {
    std::string dir = std::string(QO_BINARY_DIR) + "/play_e2e_pad";
    int status = RunProgram(dir, true);
    std::string log = Slurp(dir + "/stdout.txt");
    ASSERT_GE(status, 0) << "the program did not finish\n" << log;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status << "\n" << log;

    // Start started the game, A latched, the unplug let go at once and the
    // pad came back; the game ended in a crash.
    std::map<std::string, int> r = ReadResults(dir + "/results.txt");
    EXPECT_GT(r["gameStart"], 120) << log;
    EXPECT_GE(r["latches"], 2);
    EXPECT_GT(r["latchedFrames"], 20);
    EXPECT_EQ(r["releasedOnUnplug"], 1);
    EXPECT_EQ(r["replugs"], 1);
    EXPECT_EQ(r["endState"], GAMESTATE_CRASHED);
    EXPECT_EQ(r["nameEntry"], 1);
    EXPECT_EQ(r["highscorePage"], 1);

    // A took the offered name into first place; B left the highscores, B quit.
    LoadHighscoresFrom((dir + "/highscore.dat").c_str());
    EXPECT_STREQ(highscores[1][0].name, "PADDY");
    EXPECT_EQ(highscores[1][0].score, r["score"]);
}
