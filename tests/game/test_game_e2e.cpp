// End to end: the real program, driven through SDL events.
//
// The test starts this test program again as a child process, which runs
// the game as the executable does: sdl_startup, then sdl_run with coremain
// on the game thread and the event pump on the main thread. A driver thread
// in the child pushes key events with SDL_PushEvent. The millisecond clock
// is replaced by a counter, so frames follow each other as quickly as they
// can be drawn and the random seed is always the same. The engine's
// before-swap hook runs on the game thread once per presented frame: there
// the child looks at the game and takes screenshots without racing it.
//
// Run 1 starts from a seeded highscore.dat: through the intro to the main
// page, HARD, the credits, a game flown until the ship crashes, a name typed
// on the name-entry screen, the highscore page with the name, and Escape.
// Run 2 starts with the files run 1 left, watches run 1's game on the demo
// page and quits. The parent checks the files byte for byte, the replay
// with --verify, and the exit codes.
#include <gtest/gtest.h>

#include <GL/glew.h>
#include <SDL.h>
#include <fcntl.h>
#include <signal.h>
#include <stb_image_write.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cgl/cgl.h"
#include "cgl/desktop.h"
#include "common/pilot.h"
#include "game/header.h"
#include "game/highscore.h"
#include "game/title.h"

namespace {

const char *const kRoleVariable = "QO_E2E_ROLE";        // "1" or "2" in the child
const char *const kScreensVariable = "QO_E2E_SCREENS";  // where run 1 puts its PNGs
const char *const kTypedName = "ACE";

// ---------------------------------------------------------------------------
// The child: what the game thread shows the driver
// ---------------------------------------------------------------------------

std::atomic<int> g_frame{-1};  // currentFrame of the latest presented frame
std::atomic<int> g_page{-1};
std::atomic<int> g_gameState{0};
std::atomic<int> g_difficulty{1};
std::atomic<int> g_score{0};
std::atomic<int> g_alive{0};
std::atomic<float> g_fade{0};
std::atomic<int> g_nameOnPage{0};  // the highscore page shows a table holding player.name
std::atomic<uint32_t> g_time{1000};

// Screenshot requests: the driver names a file, the game thread takes it.
std::atomic<const char *> g_shotRequest{nullptr};
std::atomic<int> g_shotsTaken{0};
std::string g_screensDir;  // set before the threads start

bool Screenshot(const std::string &path) {
    int w = CGL_video.width, h = CGL_video.height;
    if (w <= 0 || h <= 0) return false;
    GLint fbo = 0;
    bool fbos = glBindFramebuffer != nullptr;
    if (fbos) {
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    // Right before the swap the back buffer holds the finished picture, with
    // its scanlines and fade.
    std::vector<uint8_t> rgba(static_cast<size_t>(w) * h * 4);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glReadBuffer(GL_BACK);
    if (fbos) glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(fbo));
    long sum = 0;
    for (size_t i = 0; i < rgba.size(); i += 4) {
        sum += rgba[i] + rgba[i + 1] + rgba[i + 2];
        rgba[i + 3] = 255;
    }
    stbi_flip_vertically_on_write(1);
    bool ok = stbi_write_png(path.c_str(), w, h, 4, rgba.data(), w * 4) != 0;
    std::printf("e2e: screenshot %s %dx%d, mean level %ld\n", path.c_str(), w, h,
                sum / (3L * w * h));
    return ok;
}

void FlyWindowPilot();

// Runs on the game thread right before each frame is presented.
void BeforeSwap() {
    g_page.store(titlestate.page, std::memory_order_relaxed);
    g_gameState.store(gameState, std::memory_order_relaxed);
    g_difficulty.store(difficulty, std::memory_order_relaxed);
    g_score.store(player.score, std::memory_order_relaxed);
    g_alive.store(player.alive ? 1 : 0, std::memory_order_relaxed);
    g_fade.store(fade, std::memory_order_relaxed);
    int shown = 0;
    if (titlestate.page == TITLE_HIGHSCORES && player.name[0] && difficulty >= 0 &&
        difficulty <= 2) {
        for (const s_highscore &entry : highscores[difficulty])
            if (std::strcmp(entry.name, player.name) == 0) shown = 1;
    }
    g_nameOnPage.store(shown, std::memory_order_relaxed);

    // What the program holds once it has started, for the parent to compare.
    if (currentFrame == 0) SaveHighscoresTo("loaded.dat");

    // Blinking texts (the start prompt, the cursor) are on in the first
    // quarter of every 64 frames.
    const char *request = g_shotRequest.load(std::memory_order_acquire);
    if (request && currentFrame % 64 <= 15) {
        Screenshot(g_screensDir + "/" + request + ".png");
        g_shotRequest.store(nullptr, std::memory_order_relaxed);
        g_shotsTaken.fetch_add(1, std::memory_order_release);
    }
    FlyWindowPilot();
    g_frame.store(currentFrame, std::memory_order_release);
}

// The window pilot (role 4, for the committed corpus): the careful pilot
// of common/pilot.h on the game thread before each swap, pressing keys as
// SDL key events, as a keyboard sends them (the pump hands them to the game
// a frame or two later); it leaves with Escape at a set frame if it is
// still flying.
struct WindowPilot {
    std::atomic<bool> on{false};  // set by the driver, cleared when the game is over
    Pilot pilot{1, true};
    int leaveAt = 0, frames = 0, swings = 0;
    bool latched = false, space = false, left = false, right = false, escape = false;
};
WindowPilot g_pilot;

void Push(SDL_Keycode key, bool down, bool *now) {
    if (*now == down) return;
    *now = down;
    SDL_Event event;
    SDL_zero(event);
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

void FlyWindowPilot() {
    WindowPilot &p = g_pilot;
    if (!p.on.load()) return;
    bool over = gameState > 89, flying = !over && player.alive;
    PilotMove move = flying ? PilotDecide(p.pilot) : PilotMove{false, 0};
    p.swings += player.flightMode != 0 && !p.latched;
    p.latched = player.flightMode != 0;
    Push(SDLK_SPACE, move.act, &p.space);
    Push(SDLK_LEFT, move.steer < 0, &p.left);
    Push(SDLK_RIGHT, move.steer > 0, &p.right);
    Push(SDLK_ESCAPE, !over && ++p.frames >= p.leaveAt, &p.escape);
    if (over) p.on.store(false);
}

uint32_t FastClock() {
    return g_time.fetch_add(4, std::memory_order_relaxed) + 4;
}

void GameBody() {
    coremain();
    sdl_requestclose();
}

// ---------------------------------------------------------------------------
// The child: the driver
// ---------------------------------------------------------------------------

std::chrono::steady_clock::time_point g_deadline;

[[noreturn]] void Fail(const char *what) {
    std::printf("e2e: FAILED: %s (frame %d, page %d, gameState %d, fade %.2f)\n", what,
                g_frame.load(), g_page.load(), g_gameState.load(), g_fade.load());
    std::fflush(stdout);
    _exit(3);
}

void WaitUntil(const char *what, const std::function<bool()> &done) {
    while (!done()) {
        if (std::chrono::steady_clock::now() > g_deadline) Fail(what);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

int Frame() {
    return g_frame.load(std::memory_order_acquire);
}

void WaitFrames(int n) {
    int until = Frame() + n;
    WaitUntil("frames to pass", [&] { return Frame() >= until; });
}

void Key(SDL_Keycode key, bool down) {
    SDL_Event event;
    SDL_zero(event);
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.keysym.sym = key;
    if (SDL_PushEvent(&event) < 0) Fail("SDL_PushEvent");
    // Wait until the pump has handled it: on a busy machine a press and its
    // release could otherwise both be handled between two frames, and the
    // game would never see the key.
    int vk = sdl_translatekey(key);
    WaitUntil("the key event to be handled",
              [&] { return (sdl_asynckeys[vk].load() != 0) == down; });
}

// Down for a few frames, then up: each frame reads the keys once.
void Tap(SDL_Keycode key) {
    Key(key, true);
    WaitFrames(3);
    Key(key, false);
    WaitFrames(3);
}

void Shot(const char *name) {
    if (g_screensDir.empty()) return;
    int taken = g_shotsTaken.load(std::memory_order_acquire);
    g_shotRequest.store(name, std::memory_order_release);
    WaitUntil(name, [&] { return g_shotsTaken.load(std::memory_order_acquire) > taken; });
}

// The title's own fade is over and the main page takes keys. From full
// brightness that is at once.
void WaitForTitleFade() {
    WaitUntil("the title's fade-in", [] { return g_fade.load() >= 1.0f; });
    WaitFrames(3);
}

// The name entry starts from black; keys count once its fade-in is over.
void WaitForNameEntryFade() {
    WaitUntil("the name entry to start", [] { return g_fade.load() < 0.5f; });
    WaitUntil("the name entry's fade-in", [] { return g_fade.load() >= 1.0f; });
    WaitFrames(3);
}

void DriveFirstRun() {
    // The intro: nothing happens until a key after frame 63; the second
    // presentation line is up at frame 560.
    WaitUntil("the intro's second line", [] { return Frame() >= 560; });
    if (g_page.load() != TITLE_INTRO) Fail("the intro ended early");
    Shot("intro");
    Tap(SDLK_RETURN);
    WaitUntil("the main page", [] { return g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    Tap(SDLK_RIGHT);
    WaitUntil("HARD", [] { return g_difficulty.load() == 2; });
    Shot("main");

    // The attract cycle: highscores after one period, credits after three.
    WaitUntil("the highscore page", [] { return g_page.load() == TITLE_HIGHSCORES; });
    WaitUntil("the credits page", [] { return g_page.load() == TITLE_CREDITS; });
    WaitFrames(60);
    Shot("credits");
    Tap(SDLK_RETURN);  // back to the main page
    WaitUntil("the main page again", [] { return g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    if (g_difficulty.load() != 2) Fail("the difficulty changed");
    Tap(SDLK_RETURN);  // start

    // A game: fly about until the ship hits a planet.
    WaitUntil("the game to start",
              [] { return g_gameState.load() == GAMESTATE_FADEIN && g_alive.load() == 1; });
    WaitUntil("the game's fade-in", [] { return g_gameState.load() == GAMESTATE_PLAY; });
    WaitFrames(30);
    Shot("play");
    const struct {
        SDL_Keycode key;
        int frames;
    } route[] = {{SDLK_LEFT, 50}, {0, 140}, {SDLK_RIGHT, 90}, {0, 100}, {SDLK_LEFT, 20}, {0, 60}};
    int start = Frame();
    bool crashed = false;
    for (int leg = 0; !crashed && Frame() - start < 12000; leg++) {
        auto step = route[leg % (sizeof(route) / sizeof(route[0]))];
        if (step.key) Key(step.key, true);
        int until = Frame() + step.frames;
        WaitUntil("the ship to fly", [&] {
            crashed = g_alive.load() == 0;
            return crashed || Frame() >= until;
        });
        if (step.key) Key(step.key, false);
    }
    if (!crashed) {
        std::printf("e2e: no crash after 12000 frames, leaving with Escape\n");
        Tap(SDLK_ESCAPE);
    }
    WaitUntil("the game to end", [] { return g_gameState.load() > 89; });
    int score = g_score.load();
    std::printf("e2e: game over, %s, score %d\n", crashed ? "crashed" : "left", score);

    WaitForNameEntryFade();
    Tap(SDLK_a);
    Tap(SDLK_c);
    Tap(SDLK_x);
    Tap(SDLK_BACKSPACE);
    Tap(SDLK_5);  // digits are no letters
    Tap(SDLK_e);
    Shot("nameentry");
    if (FILE *result = std::fopen("e2e-result.txt", "w")) {
        std::fprintf(result, "%d %d\n", score, crashed ? 1 : 0);
        std::fclose(result);
    }
    Tap(SDLK_RETURN);

    // Back on the title screen with the fresh table.
    WaitUntil("the highscore page after the entry",
              [] { return g_gameState.load() == 0 && g_page.load() == TITLE_HIGHSCORES; });
    WaitFrames(60);
    if (g_nameOnPage.load() != 1) Fail("the typed name is not on the highscore page");
    Shot("highscores");
    WaitFrames(100);
    if (g_page.load() != TITLE_HIGHSCORES) Fail("the highscore page left too early");

    Tap(SDLK_ESCAPE);  // back to the main page ...
    WaitUntil("the main page at the end", [] { return g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    Key(SDLK_ESCAPE, true);  // ... and quit
}

void DriveSecondRun() {
    WaitUntil("the intro", [] { return Frame() >= 70; });
    Tap(SDLK_SPACE);
    WaitUntil("the main page", [] { return g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    // HARD has the first run's game in its table: after the credits, the
    // demo page plays it; a key leaves it.
    Tap(SDLK_RIGHT);
    WaitUntil("HARD", [] { return g_difficulty.load() == 2; });
    WaitUntil("the demo page", [] { return g_page.load() == TITLE_DEMO; });
    WaitFrames(150);
    Shot("demo");
    Tap(SDLK_SPACE);
    WaitUntil("the main page after the demo", [] { return g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    Key(SDLK_ESCAPE, true);
}

// From the intro to a game of the difficulty (0..2).
void StartGame(int d) {
    WaitUntil("the intro", [] { return Frame() >= 70; });
    Tap(SDLK_RETURN);
    WaitUntil("the main page", [] { return g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    for (int i = 1; i < d; i++) Tap(SDLK_RIGHT);
    if (d < 1) Tap(SDLK_LEFT);
    WaitUntil("the difficulty", [d] { return g_difficulty.load() == d; });
    Tap(SDLK_RETURN);
    WaitUntil("the game to start",
              [] { return g_gameState.load() == GAMESTATE_FADEIN && g_alive.load() == 1; });
}

// A game closed in play: a stop signal, as the session's end sends.
void DriveClosingRun() {
    StartGame(0);
    g_pilot.leaveAt = 1 << 30;
    g_pilot.on = true;
    WaitFrames(150);
    std::printf("e2e: closing in play at frame %d\n", Frame());
    kill(getpid(), SIGTERM);
    WaitFrames(1000);
    Fail("the close did not end the program");
}

// One game flown by the window pilot, then the program left from the title.
void DrivePilotRun() {
    int d = 1, seed = 1;
    std::sscanf(std::getenv("QO_PILOT"), "%d %d %d", &d, &seed, &g_pilot.leaveAt);
    g_pilot.pilot.rng = static_cast<uint32_t>(seed) * 2654435761u;
    StartGame(d);
    g_pilot.on = true;
    WaitUntil("the game to end", [] { return g_gameState.load() > 89; });
    std::printf("e2e: pilot's game over in state %d, score %d, %d swings\n", g_gameState.load(),
                g_score.load(), g_pilot.swings);
    WaitUntil("the main page after the game",
              [] { return g_gameState.load() == 0 && g_page.load() == TITLE_MAIN; });
    WaitForTitleFade();
    Key(SDLK_ESCAPE, true);
}

// ---------------------------------------------------------------------------
// The parent
// ---------------------------------------------------------------------------

std::vector<unsigned char> ReadFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string &path, const std::vector<unsigned char> &bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), bytes.size());
}

void PutInt(std::vector<unsigned char> &file, size_t at, int value) {
    for (int i = 0; i < 4; i++)
        file[at + i] = static_cast<unsigned char>(uint32_t(value) >> (8 * i));
}

void PutName(std::vector<unsigned char> &file, size_t at, const std::string &name) {
    std::fill(file.begin() + at, file.begin() + at + 64, 0);
    std::copy(name.begin(), name.end(), file.begin() + at);
}

struct Entry {
    std::string name;
    int score;
};

// The file as the format lays it out, built here without the game's code.
std::vector<unsigned char> MakeFile(const std::string &name, const int best[3],
                                    const std::vector<Entry> tables[3]) {
    std::vector<unsigned char> file(2116, 0);
    PutName(file, 0, name);
    for (int i = 0; i < 3; i++) PutInt(file, 64 + 4 * i, best[i]);
    for (int d = 0; d < 3; d++) {
        for (int k = 0; k < 10; k++) {
            size_t at = 76 + 680 * d + 68 * k;
            PutName(file, at, tables[d][k].name);
            PutInt(file, at + 64, tables[d][k].score);
        }
    }
    return file;
}

// Runs the child in dir; returns its exit status, or -1 when it had to be
// killed. Its output goes to dir/run<role>.log.
int RunChild(const std::string &dir, int role, const std::string &screens, int seconds) {
    std::string log = dir + "/run" + std::to_string(role) + ".log";
    std::string self = "/proc/self/exe";
    char exe[4096];
    ssize_t n = readlink(self.c_str(), exe, sizeof(exe) - 1);
    if (n <= 0) return -2;
    exe[n] = 0;

    // Everything the child needs is prepared before the fork.
    std::vector<std::string> env;
    std::string tsan = "TSAN_OPTIONS=";
    for (char **e = environ; *e; e++) {
        if (std::strncmp(*e, "TSAN_OPTIONS=", 13) == 0)
            tsan = std::string(*e) + ":";
        else if (std::strncmp(*e, "QO_E2E_", 7) != 0 && std::strncmp(*e, "GTEST_", 6) != 0)
            env.push_back(*e);
    }
    // When the game asks for the window to close, the pump may end the
    // process before it has joined the game thread that asked; that thread
    // has nothing left to do, so it is no leak worth failing the run for.
    env.push_back(tsan + "report_thread_leaks=0");
    env.push_back(std::string(kRoleVariable) + "=" + std::to_string(role));
    if (!screens.empty()) env.push_back(std::string(kScreensVariable) + "=" + screens);
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        env.push_back("SDL_VIDEODRIVER=offscreen");
    if (!std::getenv("SDL_AUDIODRIVER")) env.push_back("SDL_AUDIODRIVER=dummy");
    std::vector<char *> envp;
    for (std::string &s : env) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string filter = "--gtest_filter=GameE2EChild.DISABLED_RunsTheProgram";
    std::string disabled = "--gtest_also_run_disabled_tests";
    char *argv[] = {exe, filter.data(), disabled.data(), nullptr};
    int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) return -2;

    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(90);
        dup2(out, 1);
        dup2(out, 2);
        execve(exe, argv, envp.data());
        _exit(91);
    }
    close(out);
    if (pid < 0) return -2;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > until) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string Tail(const std::string &path) {
    std::vector<unsigned char> text = ReadFile(path);
    size_t from = text.size() > 3000 ? text.size() - 3000 : 0;
    return std::string(text.begin() + from, text.end());
}

}  // namespace

// The child's whole life: the game as the executable runs it, plus the
// driver thread. Skipped unless started by the test below.
// Disabled, so that it runs only when the test below asks for it.
TEST(GameE2EChild, DISABLED_RunsTheProgram) {
    const char *role = std::getenv(kRoleVariable);
    if (!role) GTEST_SKIP() << "runs only as the child of GameE2E.IntroToHighscoreAndAgain";
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    if (const char *screens = std::getenv(kScreensVariable)) g_screensDir = screens;
    int which = std::atoi(role);
    bool first = which == 1;
    g_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(which == 4 ? 1500
                                                                         : first    ? 270
                                                                                    : 200);

    sdl_clock = FastClock;
    cgl_beforeswap = BeforeSwap;
    if (!sdl_startup()) _exit(1);
    void (*const drivers[])() = {DriveFirstRun, DriveSecondRun, DriveClosingRun, DrivePilotRun};
    std::thread driver(drivers[which < 1 || which > 4 ? 0 : which - 1]);
    driver.detach();
    int rc = sdl_run(GameBody);
    std::fflush(stdout);
    _exit(rc);
}

TEST(GameE2E, IntroToHighscoreAndAgain) {
    char pattern[] = "/tmp/qo_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern;
    std::string image = std::string(QO_BINARY_DIR) + "/qostarfold.dat";
    ASSERT_EQ(access(image.c_str(), R_OK), 0) << "no resource image at " << image;
    ASSERT_EQ(symlink(image.c_str(), (dir + "/qostarfold.dat").c_str()), 0);
    std::string screens = std::string(QO_BINARY_DIR) + "/e2e-screens";
    mkdir(screens.c_str(), 0755);

    // Seed: bests for EASY and MEDIUM, and a HARD table any score makes.
    std::vector<Entry> tables[3];
    const char *pilots[10] = {"VEGA",   "RIGEL", "ALTAIR",  "DENEB", "CASTOR",
                              "POLLUX", "MIRA",  "ANTARES", "SPICA", "ELNATH"};
    for (int k = 0; k < 10; k++) {
        tables[0].push_back({std::string("EASY ") + std::to_string(k + 1), 5000 - 300 * k});
        tables[1].push_back({std::string("MID ") + std::to_string(k + 1), 6000 - 500 * k});
        tables[2].push_back({pilots[k], 90 - 10 * k});
    }
    int best[3] = {111, 222, 0};
    std::vector<unsigned char> seed = MakeFile("", best, tables);
    WriteFile(dir + "/highscore.dat", seed);

    int rc = RunChild(dir, 1, screens, 290);
    ASSERT_EQ(rc, 0) << Tail(dir + "/run1.log");
    EXPECT_EQ(ReadFile(dir + "/loaded.dat"), seed) << "the first run did not start with the seed";

    int score = -1, crashed = 0;
    if (FILE *result = std::fopen((dir + "/e2e-result.txt").c_str(), "r")) {
        if (std::fscanf(result, "%d %d", &score, &crashed) != 2) score = -1;
        std::fclose(result);
    }
    ASSERT_GE(score, 0) << Tail(dir + "/run1.log");
    EXPECT_EQ(crashed, 1) << "the ship never crashed; the game was left with Escape";

    // The name above every entry whose score it equals or beats.
    size_t place = 0;
    while (place < 10 && score < tables[2][place].score) place++;
    ASSERT_LT(place, 10u);
    tables[2].insert(tables[2].begin() + place, {kTypedName, score});
    tables[2].pop_back();
    best[2] = score;
    std::vector<unsigned char> expected = MakeFile(kTypedName, best, tables);
    std::vector<unsigned char> saved = ReadFile(dir + "/highscore.dat");
    ASSERT_EQ(saved.size(), 2116u);
    EXPECT_EQ(saved, expected) << "score " << score << ", place " << place + 1;
    EXPECT_NE(access((dir + "/highscore.dat.tmp").c_str(), F_OK), 0);
    for (const char *name : {"intro", "main", "credits", "play", "nameentry", "highscores"}) {
        struct stat st;
        std::string png = screens + "/" + name + ".png";
        EXPECT_TRUE(stat(png.c_str(), &st) == 0 && st.st_size > 1000) << png;
    }

    // The game left its replay, as the last game and as the new entry's,
    // and the program in a fresh process finds it the same game.
    char entry[64];
    std::snprintf(entry, sizeof entry, "/replays/hard-%d-%08x.qoreplay", score,
                  0x7e86a388u);  // FNV-1a of "ACE"
    std::vector<unsigned char> replay = ReadFile(dir + "/replays/last.qoreplay");
    EXPECT_GT(replay.size(), 232u);
    EXPECT_EQ(ReadFile(dir + entry), replay) << entry;
    std::string verify = std::string(QO_BINARY_DIR) + "/qostarfold --verify " + dir +
                         "/replays/last.qoreplay > " + dir + "/verify.log";
    EXPECT_EQ(std::system(verify.c_str()), 0) << Tail(dir + "/verify.log");

    // The second run starts with what the first one saved, watches its game
    // on the demo page, and leaves the tables, the name and the bests so.
    rc = RunChild(dir, 2, screens, 220);
    ASSERT_EQ(rc, 0) << Tail(dir + "/run2.log");
    EXPECT_EQ(ReadFile(dir + "/loaded.dat"), saved);
    EXPECT_EQ(ReadFile(dir + "/highscore.dat"), saved);
    struct stat demo;
    EXPECT_TRUE(stat((screens + "/demo.png").c_str(), &demo) == 0 && demo.st_size > 1000);
}

TEST(GameE2E, ACloseInPlayKeepsTheGameSoFar) {
    char pattern[] = "/tmp/qo_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern, image = std::string(QO_BINARY_DIR) + "/qostarfold.dat";
    ASSERT_EQ(symlink(image.c_str(), (dir + "/qostarfold.dat").c_str()), 0);
    ASSERT_EQ(RunChild(dir, 3, "", 120), 0) << Tail(dir + "/run3.log");
    std::string verify = std::string(QO_BINARY_DIR) + "/qostarfold --verify " + dir +
                         "/replays/last.qoreplay > " + dir + "/verify.log 2>&1";
    EXPECT_EQ(std::system(verify.c_str()), 0) << Tail(dir + "/verify.log");
    EXPECT_NE(Tail(dir + "/verify.log").find("unfinished (closed during play): ok"),
              std::string::npos)
        << Tail(dir + "/verify.log");
    EXPECT_NE(access((dir + "/highscore.dat").c_str(), F_OK), 0) << "a score from a cut game";
}

// QO_WRITE_WINDOW_REPLAYS=<dir> writes the corpus's window games: the real
// program in its window, flown by the window pilot through key events.
TEST(GameE2E, WritesWindowGamesWhenAsked) {
    const char *out = std::getenv("QO_WRITE_WINDOW_REPLAYS");
    if (!out) GTEST_SKIP() << "QO_WRITE_WINDOW_REPLAYS not set";
    const struct {
        const char *name;
        int difficulty, seed, leaveAt;
    } games[] = {{"EASY-window-left", 0, 1, 1500},
                 {"HARD-window-left", 2, 2, 2500},
                 {"MEDIUM-window-long", 1, 3, 40000},
                 {"EASY-window-long", 0, 4, 40000},
                 {"HARD-window-long", 2, 5, 40000}};
    for (const auto &game : games) {
        std::string file = std::string(out) + "/" + game.name + ".qoreplay";
        if (access(file.c_str(), F_OK) == 0) continue;  // written by a run before
        char pattern[] = "/tmp/qo_e2e_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        std::string dir = pattern, image = std::string(QO_BINARY_DIR) + "/qostarfold.dat";
        ASSERT_EQ(symlink(image.c_str(), (dir + "/qostarfold.dat").c_str()), 0);
        // Tables no pilot reaches: no name entry, the file's name is the pilot's.
        std::vector<Entry> tables[3];
        for (int d = 0; d < 3; d++)
            for (int k = 0; k < 10; k++) tables[d].push_back({"ACE", 1000000 - k});
        int best[3] = {0, 0, 0};
        WriteFile(dir + "/highscore.dat", MakeFile("WINDOW PILOT", best, tables));
        std::string config = std::to_string(game.difficulty) + " " + std::to_string(game.seed) +
                             " " + std::to_string(game.leaveAt);
        setenv("QO_PILOT", config.c_str(), 1);
        ASSERT_EQ(RunChild(dir, 4, "", 1600), 0) << Tail(dir + "/run4.log");
        unsetenv("QO_PILOT");
        WriteFile(file, ReadFile(dir + "/replays/last.qoreplay"));
        std::printf("%s: %s", game.name, Tail(dir + "/run4.log").c_str());
    }
    // And a game closed in play.
    char pattern[] = "/tmp/qo_e2e_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern, image = std::string(QO_BINARY_DIR) + "/qostarfold.dat";
    ASSERT_EQ(symlink(image.c_str(), (dir + "/qostarfold.dat").c_str()), 0);
    ASSERT_EQ(RunChild(dir, 3, "", 120), 0) << Tail(dir + "/run3.log");
    WriteFile(std::string(out) + "/EASY-window-closed.qoreplay",
              ReadFile(dir + "/replays/last.qoreplay"));
}
