#include "desktop/desktop.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char **environ;

namespace rig {

long long now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

std::string var(const char *name) {
    const char *value = getenv(name);
    return value ? value : "";
}

std::string sh(const std::string &command) {
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::string screen_mode(const std::string &display) {
    // The mode of the connected output's CRTC: what the monitor shows. (The
    // screen's own size may stay larger, as SDL leaves it.)
    std::string out = sh("DISPLAY=" + display + " xrandr --current 2>/dev/null");
    size_t at = out.find(" connected");
    if (at == std::string::npos) return "?";
    at = out.find_first_of("0123456789", at);
    int w = 0, h = 0;
    if (at == std::string::npos || sscanf(out.c_str() + at, "%dx%d", &w, &h) != 2) return "off";
    return std::to_string(w) + "x" + std::to_string(h);
}

Grid screen_grid(const std::string &display) {
    Grid grid;
    Display *x = XOpenDisplay(display.c_str());
    if (!x) return grid;
    XWindowAttributes root;
    XGetWindowAttributes(x, DefaultRootWindow(x), &root);
    XImage *image =
        XGetImage(x, DefaultRootWindow(x), 0, 0, root.width, root.height, AllPlanes, ZPixmap);
    if (image) {
        grid.width = root.width;
        grid.height = root.height;
        for (int y = 0; y < root.height; y += 8)
            for (int x0 = 0; x0 < root.width; x0 += 8)
                grid.rgb.push_back(XGetPixel(image, x0, y) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(x);
    return grid;
}

std::string load() {
    std::ifstream in("/proc/loadavg");
    std::string a;
    in >> a;
    return "load " + a;
}

bool start(Game &game, const std::vector<std::string> &env, const std::string &program) {
    // Inside the rig's directory, which stopping the rig removes.
    std::string base = var("QO_RIG_DIR").empty() ? "/tmp" : var("QO_RIG_DIR");
    std::string pattern = base + "/game.XXXXXX";
    std::vector<char> dirbuf(pattern.begin(), pattern.end());
    dirbuf.push_back(0);
    char *dir = dirbuf.data();
    if (!mkdtemp(dir)) return false;
    game.dir = dir;
    game.spylog = game.dir + "/spy.log";
    const std::string build = QO_BINARY_DIR;
    if (symlink((build + "/qostarfold.dat").c_str(), (game.dir + "/qostarfold.dat").c_str()) != 0)
        return false;
    for (const auto &file : game.files) {
        std::ofstream out(game.dir + "/" + file.first, std::ios::binary);
        out << file.second;
        if (!out) return false;
    }

    // The environment is made before the fork: the child of a process
    // with threads (the recorder's) may only exec.
    std::vector<std::string> vars;
    for (char **e = environ; *e; e++) vars.push_back(*e);
    std::vector<std::string> all = {"LD_PRELOAD=" + build + "/libqo_spy.so",
                                    "QO_SPY_LOG=" + game.spylog, "SDL_AUDIODRIVER=pulseaudio"};
    all.insert(all.end(), env.begin(), env.end());
    for (const std::string &set : all) {
        std::string name = set.substr(0, set.find('=') + 1);
        for (size_t i = 0; i < vars.size();)
            if (vars[i].compare(0, name.size(), name) == 0)
                vars.erase(vars.begin() + i);
            else
                i++;
        if (set.size() > name.size()) vars.push_back(set);
    }
    std::vector<char *> envp;
    for (std::string &v : vars) envp.push_back(&v[0]);
    envp.push_back(nullptr);
    std::string path = build + "/" + program;

    game.started = now_ns();
    return program_start(game.program, path, dir, false, envp.data());
}

Spy spy(const Game &game) {
    Spy s;
    std::ifstream in(game.spylog);
    std::string line, what;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        long long t = 0;
        words >> what >> t;
        if (what == "swap") {
            s.swaps.push_back(t);
        } else if (what == "key" || what == "button") {
            std::string dir;
            int code = 0;
            words >> dir >> code;
            if (what == "key" && line.back() != '0') continue;  // a key's repeats
            (what == "key" ? s.keys : s.buttons).push_back({t, dir == "down", code});
        } else if (what == "window") {
            int event;
            words >> event;
            s.windows.push_back({t, event});
        } else if (what == "motion") {
            int x, y;
            words >> x >> y;
            s.motions.push_back({x, y});
        }
    }
    // The game's generator is its own: the seed comes from its progress line.
    for (const auto &timed : game.lines) {
        unsigned seed;
        if (std::sscanf(timed.second.c_str(), "- Random seed %u", &seed) == 1)
            s.seeds.push_back(seed);
    }
    return s;
}

void pump(Game &game, int ms) {
    long long end = now_ns() + ms * 1000000LL;
    std::string &partial = game.partial;
    do {
        if (game.program.out < 0) return;
        pollfd p{game.program.out, POLLIN, 0};
        long long left = (end - now_ns()) / 1000000;
        if (poll(&p, 1, left > 0 ? (int)left : 0) <= 0) continue;
        char buffer[4096];
        ssize_t n = read(game.program.out, buffer, sizeof buffer);
        if (n <= 0) {
            if (n == 0) break;
            continue;
        }
        long long t = now_ns();
        game.program.output.append(buffer, n);
        size_t done = game.program.output.size() - n;
        for (size_t i = done; i < game.program.output.size(); i++) {
            char c = game.program.output[i];
            if (c == '\n') {
                game.lines.push_back({t, partial});
                partial.clear();
            } else {
                partial += c;
            }
        }
    } while (now_ns() < end);
}

bool wait_swaps(Game &game, size_t n, int timeout_ms) {
    long long end = now_ns() + timeout_ms * 1000000LL;
    while (now_ns() < end) {
        if (spy(game).swaps.size() >= n) return true;
        pump(game, 20);
    }
    return false;
}

double rate(const Spy &spy, long long from, long long to) {
    long long first = 0, last = 0;
    size_t n = 0;
    for (long long t : spy.swaps) {
        if (t < from || t > to) continue;
        if (n++ == 0) first = t;
        last = t;
    }
    if (n < 2 || last == first) return 0;
    return (n - 1) * 1e9 / (double)(last - first);
}

int wait_exit(Game &game, int timeout_ms) {
    pump(game, 0);
    int code = program_wait_exit(game.program, timeout_ms);
    game.program.pid = -1;
    return code;
}

void kill_game(Game &game) {
    if (game.program.pid <= 0) return;
    kill(game.program.pid, SIGKILL);
    waitpid(game.program.pid, nullptr, 0);
    game.program.pid = -1;
    if (game.program.out >= 0) close(game.program.out);
    game.program.out = -1;
}

std::string xdotool(const std::string &display, const std::string &args) {
    return sh("DISPLAY=" + display + " xdotool " + args + " 2>/dev/null");
}

std::string press(const std::string &display, const std::string &key) {
    // Held for 80 ms, longer than any frame: a press the game cannot miss.
    return xdotool(display, "keydown " + key + " sleep 0.08 keyup " + key);
}

bool close_window(const std::string &display, const std::string &window) {
    Display *x = XOpenDisplay(display.c_str());
    if (!x) return false;
    Window w = strtoul(window.c_str(), nullptr, 10);
    XEvent event;
    memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(x, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    bool sent = w && XSendEvent(x, w, False, NoEventMask, &event);
    XFlush(x);
    XCloseDisplay(x);
    return sent;
}

std::string window_of(const Game &game, const std::string &display) {
    std::string out =
        xdotool(display, "search --onlyvisible --pid " + std::to_string(game.program.pid));
    if (out.empty()) out = xdotool(display, "search --pid " + std::to_string(game.program.pid));
    return out.substr(0, out.find('\n'));
}

size_t to_main_page(Game &game, const std::string &display) {
    // The intro takes keys after 63 frames; the credits and highscore
    // pages at once. Down does nothing on the main page itself.
    size_t frames = spy(game).swaps.size();
    wait_swaps(game, frames < 70 ? 70 : frames + 1, 10000);
    size_t keys = spy(game).keys.size();
    xdotool(display, "keydown Down sleep 0.08 keyup Down");
    long long end = now_ns() + 5000000000LL;
    while (spy(game).keys.size() <= keys && now_ns() < end) pump(game, 10);
    Spy s = spy(game);
    size_t begin = 0;
    for (long long t : s.swaps)
        if (s.keys.size() > keys && t <= s.keys[keys].t) begin++;
    // The main page fades in over 50 frames and takes no keys meanwhile.
    wait_swaps(game, begin + 56, 10000);
    return begin;
}

// ---------------------------------------------------------------------------
// Recorder

bool Recorder::start(int latency_ms, const std::string &pulse_server) {
    std::string latency = "--latency-msec=" + std::to_string(latency_ms);
    std::string server = "--server=" + (pulse_server.empty() ? var("PULSE_SERVER") : pulse_server);
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        execlp("parec", "parec", "--device=rig.monitor", "--format=s16le", "--rate=44100",
               "--channels=2", latency.c_str(), server.c_str(), "--raw", (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    fd_ = fds[0];
    thread_ = std::thread([this] { read_loop(); });
    // The first data means the stream runs.
    long long end = now_ns() + 5000000000LL;
    while (now_ns() < end) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (data_.size() > 4410) return true;
        }
        usleep(10000);
    }
    return false;
}

void Recorder::read_loop() {
    char buffer[2048];
    std::string odd;
    for (;;) {
        ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n <= 0) break;
        long long t = now_ns();
        odd.append(buffer, n);
        size_t frames = odd.size() / 4;
        std::lock_guard<std::mutex> hold(lock_);
        size_t at = data_.size();
        data_.resize(at + frames * 2);
        memcpy(&data_[at], odd.data(), frames * 4);
        odd.erase(0, frames * 4);
        chunks_.push_back({data_.size() / 2, t});
    }
}

void Recorder::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    if (thread_.joinable()) thread_.join();
    close(fd_);
    fd_ = -1;
}

std::vector<int16_t> Recorder::samples() const {
    std::lock_guard<std::mutex> hold(lock_);
    return data_;
}

// Each chunk's arrival bounds from above when its frames came out: frame i
// of a chunk ending at frame e arriving at t left the server no later than
// t - (e - i) / rate. The earliest bound of all later chunks is the best.
long long Recorder::time_of(size_t frame) const {
    std::lock_guard<std::mutex> hold(lock_);
    long long best = 0;
    bool found = false;
    for (auto c = chunks_.rbegin(); c != chunks_.rend() && c->end >= frame; ++c) {
        long long t = c->arrived - (long long)((c->end - frame) * 1e9 / 44100);
        if (!found || t < best) best = t;
        found = true;
    }
    return best;
}

size_t Recorder::frame_at(long long t) const {
    size_t lo = 0, hi;
    {
        std::lock_guard<std::mutex> hold(lock_);
        hi = data_.size() / 2;
    }
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (time_of(mid) < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

// ---------------------------------------------------------------------------
// Sound analysis

std::vector<float> load_wav(const std::string &path) {
    std::vector<float> out;
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    int channels = 1;
    for (size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size;
        memcpy(&size, &bytes[at + 4], 4);
        std::string id = bytes.substr(at, 4);
        if (id == "fmt " && at + 12 <= bytes.size()) {
            uint16_t c;
            memcpy(&c, &bytes[at + 10], 2);
            channels = c;
        }
        if (id == "data") {
            size_t n = std::min<size_t>(size, bytes.size() - at - 8) / 2 / channels;
            for (size_t i = 0; i < n; i++) {
                float sum = 0;
                for (int c = 0; c < channels; c++) {
                    int16_t v;
                    memcpy(&v, &bytes[at + 8 + (i * channels + c) * 2], 2);
                    sum += v;
                }
                out.push_back(sum / channels);
            }
            break;
        }
        at += 8 + size + (size & 1);
    }
    return out;
}

size_t find_sound(const std::vector<int16_t> &stereo, const std::vector<float> &tmpl, size_t from,
                  size_t to, double *corr) {
    const size_t frames = stereo.size() / 2;
    const size_t m = std::min<size_t>(tmpl.size(), 4096);
    double tnorm = 0;
    for (size_t j = 0; j < m; j++) tnorm += (double)tmpl[j] * tmpl[j];
    auto score = [&](size_t at) {
        double dot = 0, xnorm = 0;
        for (size_t j = 0; j < m; j++) {
            double x = ((double)stereo[2 * (at + j)] + stereo[2 * (at + j) + 1]) / 2;
            dot += x * tmpl[j];
            xnorm += x * x;
        }
        return xnorm > 0 && tnorm > 0 ? dot / std::sqrt(xnorm * tnorm) : 0.0;
    };
    if (to + m > frames) to = frames > m ? frames - m : 0;
    size_t best = from;
    double best_score = -1;
    // Coarse steps first, then every frame around the best of them.
    for (size_t at = from; at < to; at += 8) {
        double s = score(at);
        if (s > best_score) best_score = s, best = at;
    }
    size_t lo = best > 8 ? best - 8 : 0;
    for (size_t at = lo; at < best + 8 && at < to; at++) {
        double s = score(at);
        if (s > best_score) best_score = s, best = at;
    }
    *corr = best_score;
    return best;
}

}  // namespace rig
