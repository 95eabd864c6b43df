// Driving the real game on the desktop rig (tests/desktop/rig.sh): start it
// with the spy library preloaded, read what the spy saw, send input through
// xdotool, read the display mode, and record the sound server's output.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/program.h"

namespace rig {

long long now_ns();
// The value of a rig variable (QO_RIG_DISPLAY, ...), "" when unset.
std::string var(const char *name);
// Standard output of a shell command.
std::string sh(const std::string &command);
// "1920x1080": the mode the X display's monitor shows now.
std::string screen_mode(const std::string &display);
// The X screen's colours (0xRRGGBB) at every 8th pixel across and down,
// row by row; width and height of the screen.
struct Grid {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;
};
Grid screen_grid(const std::string &display);
// Load average and the like, for the lines that print a figure.
std::string load();

struct Event {
    long long t;
    bool down;
    int code;
};

// What the spy wrote so far, and the seed the game printed.
struct Spy {
    std::vector<long long> swaps;
    std::vector<Event> keys, buttons;
    std::vector<unsigned> seeds;  // from the game's "- Random seed" line
    std::vector<std::pair<long long, int>> windows;
    std::vector<std::pair<int, int>> motions;
};

struct Game {
    Program program;
    std::string dir, spylog;
    long long started = 0;
    // Files (name, bytes) put beside the image before the game starts.
    std::vector<std::pair<std::string, std::string>> files;
    // Times at which each line of standard output arrived.
    std::vector<std::pair<long long, std::string>> lines;
    std::string partial;
};

// Starts build/qostarfold (or another program) in a fresh directory holding
// the resource image. env entries "NAME=value" are set, "NAME=" removed.
bool start(Game &game, const std::vector<std::string> &env,
           const std::string &program = "qostarfold");
Spy spy(const Game &game);
// Reads the program's output (timing each line) for up to ms.
void pump(Game &game, int ms);
// Waits until the game has presented at least n frames.
bool wait_swaps(Game &game, size_t n, int timeout_ms);
// Presented frames per second between two times.
double rate(const Spy &spy, long long from, long long to);
// Waits for the end; exit code, or -1 on a signal or a timeout (then killed).
int wait_exit(Game &game, int timeout_ms);
// Kills a game that is still running.
void kill_game(Game &game);

// xdotool on an X display; returns its output.
std::string xdotool(const std::string &display, const std::string &args);
// Presses and releases a key (xdotool key name).
std::string press(const std::string &display, const std::string &key);
// Asks a window to close the way a window manager does (WM_DELETE_WINDOW).
bool close_window(const std::string &display, const std::string &window);
// The game's top-level window on an X display ("" if none).
std::string window_of(const Game &game, const std::string &display);

// Brings the title screen to its main page with the fade done; returns the
// frame count at which the main page began (its attract period is 384
// frames from there).
size_t to_main_page(Game &game, const std::string &display);

// The sound server's output, recorded from the null sink's monitor.
class Recorder {
public:
    // latency_ms: the recording stream's fragment, small for timing;
    // pulse_server: the PulseAudio (or pipewire-pulse) server, empty for
    // PULSE_SERVER's.
    bool start(int latency_ms = 5, const std::string &pulse_server = "");
    void stop();
    // Interleaved stereo frames recorded so far.
    std::vector<int16_t> samples() const;
    // The time at which frame i came out of the server.
    long long time_of(size_t frame) const;
    size_t frame_at(long long t) const;
    ~Recorder() { stop(); }

private:
    struct Chunk {
        size_t end;  // frames recorded up to and including this chunk
        long long arrived;
    };
    void read_loop();
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread thread_;
    mutable std::mutex lock_;
    std::vector<int16_t> data_;
    std::vector<Chunk> chunks_;
};

// A 16-bit WAV file as mono floats.
std::vector<float> load_wav(const std::string &path);
// Where the sound tmpl starts best in the recording (mono mix of the
// stereo frames) between frames from and to; corr gets the normalised
// correlation there (1 is a perfect match).
size_t find_sound(const std::vector<int16_t> &stereo, const std::vector<float> &tmpl, size_t from,
                  size_t to, double *corr);

}  // namespace rig
