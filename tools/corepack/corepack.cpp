// corepack: makes and inspects CORE resource images.
//
//   corepack pack IMAGE PATH...    pack files and directory trees
//   corepack list IMAGE            one line per entry: name size offset
//   corepack extract IMAGE DIR     write every entry under DIR
//   corepack verify IMAGE          check an image; non-zero exit on any problem
//   corepack append HOST IMAGE     append IMAGE to HOST so that it mounts in mode 1
//
// Everything that reads an image goes through the engine's own corefile
// code, so the tool sees an image exactly as the game does. Every output
// file is written under a temporary name and renamed into place.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/core.h"
#include "corefile/corefile.h"

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kMaxImageSize = 0x7FFFFFFF;

// ---------------------------------------------------------------------------
// Engine messages: progress is dropped, problems are kept for the caller.

std::vector<std::string> g_problems;

void on_message(int problem, const char *text) {
    if (!problem) return;
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    g_problems.push_back(line);
}

int fail(const std::string &message) {
    fprintf(stderr, "corepack: %s\n", message.c_str());
    return 1;
}

// The same, for helpers that answer true or false.
bool refuse(const std::string &message) {
    fail(message);
    return false;
}

int usage() {
    fprintf(stderr,
            "usage: corepack pack IMAGE PATH... | list IMAGE | extract IMAGE DIR | verify IMAGE | "
            "append HOST IMAGE\n");
    return 2;
}

// Mounts a stand-alone image; on failure reports the engine's first problem.
// The engine mounts an image with damaged entries and names them; the tool
// refuses it, since it would list, extract or append wrong sizes.
bool mount(const char *image) {
    g_problems.clear();
    if (corefile_mountimage(image, 0) && g_problems.empty()) return true;
    corefile_closeimage();
    fail(g_problems.empty() ? std::string("cannot mount ") + image : g_problems.front());
    return false;
}

void put32(std::vector<unsigned char> &out, uint32_t v) {
    for (int i = 0; i < 4; i++) out.push_back((unsigned char)(v >> (8 * i)));
}

// Size of the header and directory as the engine parsed them.
uint64_t directory_end() {
    uint64_t end = 12;
    for (uint32_t i = 0; i < corefile_image.numfiles; i++)
        end += 12 + strlen(corefile_image.names[i]);
    return end;
}

// ---------------------------------------------------------------------------
// Atomic output

class AtomicFile {
public:
    explicit AtomicFile(const std::string &target) : target_(target) {
        tmp_ = target + ".tmpXXXXXX";
        int fd = mkstemp(&tmp_[0]);
        if (fd >= 0) fp_ = fdopen(fd, "wb");
        if (fd >= 0 && !fp_) close(fd);
    }
    ~AtomicFile() {
        if (fp_) fclose(fp_);
        if (!committed_ && !tmp_.empty()) unlink(tmp_.c_str());
    }
    FILE *fp() const { return fp_; }
    bool ok() const { return fp_ != nullptr; }
    bool write(const void *data, size_t n) {
        return fp_ && (n == 0 || fwrite(data, 1, n, fp_) == n);
    }
    bool commit(mode_t mode) {
        if (!fp_) return false;
        bool good = fflush(fp_) == 0 && !ferror(fp_);
        good = fclose(fp_) == 0 && good;
        fp_ = nullptr;
        if (!good) return false;
        chmod(tmp_.c_str(), mode);
        // Over an older image too, on every system.
        if (!corefile_replacefile(tmp_.c_str(), target_.c_str())) return false;
        committed_ = true;
        return true;
    }

private:
    std::string target_, tmp_;
    FILE *fp_ = nullptr;
    bool committed_ = false;
};

mode_t default_mode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// ---------------------------------------------------------------------------
// pack

struct Input {
    std::string name;  // stored name: relative, '/', lower case
    std::string path;  // where the bytes are
    uint64_t size;
};

std::string lower(std::string s) {
    for (char &c : s)
        if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    return s;
}

bool collect(const std::string &arg, std::vector<Input> &inputs) {
    std::error_code ec;
    fs::path root(arg);
    fs::file_status st = fs::status(root, ec);
    if (ec || !fs::exists(st)) return refuse("cannot read " + arg + ": no such file or directory");
    if (fs::is_regular_file(st)) {
        uint64_t size = fs::file_size(root, ec);
        if (ec) return refuse("cannot read " + arg + ": " + ec.message());
        inputs.push_back({lower(root.filename().string()), arg, size});
        return true;
    }
    if (!fs::is_directory(st)) return refuse("not a file or directory: " + arg);
    fs::recursive_directory_iterator it(root, ec), end;
    if (ec) return refuse("cannot read " + arg + ": " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec) return refuse("cannot read " + arg + ": " + ec.message());
        if (!it->is_regular_file(ec)) continue;
        uint64_t size = it->file_size(ec);
        if (ec) return refuse("cannot read " + it->path().string() + ": " + ec.message());
        std::string rel = it->path().lexically_relative(root).generic_string();
        inputs.push_back({lower(rel), it->path().string(), size});
    }
    if (ec) return refuse("cannot read " + arg + ": " + ec.message());
    return true;
}

bool copy_into(AtomicFile &out, const Input &in) {
    FILE *fp = fopen(in.path.c_str(), "rb");
    if (!fp) return refuse("cannot read " + in.path + ": " + strerror(errno));
    std::vector<unsigned char> buf(1 << 16);
    uint64_t copied = 0;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), fp)) > 0) {
        copied += n;
        if (copied > in.size) break;
        if (!out.write(buf.data(), n)) {
            fclose(fp);
            return refuse("cannot write the image");
        }
    }
    bool err = ferror(fp);
    fclose(fp);
    if (err) return refuse("cannot read " + in.path);
    if (copied != in.size) return refuse(in.path + " changed size while packing");
    return true;
}

int cmd_pack(const char *image, int npaths, char **paths) {
    std::vector<Input> inputs;
    for (int i = 0; i < npaths; i++)
        if (!collect(paths[i], inputs)) return 1;
    std::sort(inputs.begin(), inputs.end(),
              [](const Input &a, const Input &b) { return a.name < b.name; });
    for (size_t i = 1; i < inputs.size(); i++)
        if (inputs[i].name == inputs[i - 1].name)
            return fail("two inputs have the name " + inputs[i].name + ": " + inputs[i - 1].path +
                        " and " + inputs[i].path);

    uint64_t pos = 12;
    for (const Input &in : inputs) pos += 12 + in.name.size();
    std::vector<unsigned char> head;
    head.insert(head.end(), {'C', 'O', 'R', 'E'});
    put32(head, (uint32_t)inputs.size());
    std::vector<unsigned char> dir;
    for (const Input &in : inputs) {
        put32(dir, (uint32_t)in.name.size());
        put32(dir, (uint32_t)corefile_gethash(in.name.c_str()));
        dir.insert(dir.end(), in.name.begin(), in.name.end());
        if (pos > kMaxImageSize) break;
        put32(dir, (uint32_t)pos);
        pos += in.size;
    }
    if (pos > kMaxImageSize) return fail("the image would be larger than 2 GiB");
    put32(head, (uint32_t)pos);  // romsize: the end of the last file

    AtomicFile out(image);
    if (!out.ok()) return fail(std::string("cannot create ") + image + ": " + strerror(errno));
    if (!out.write(head.data(), head.size()) || !out.write(dir.data(), dir.size()))
        return fail(std::string("cannot write ") + image);
    for (const Input &in : inputs)
        if (!copy_into(out, in)) return 1;
    if (!out.commit(default_mode())) return fail(std::string("cannot write ") + image);
    printf("packed %zu files, %llu bytes into %s\n", inputs.size(), (unsigned long long)pos, image);
    return 0;
}

// ---------------------------------------------------------------------------
// list, extract, verify

int cmd_list(const char *image) {
    if (!mount(image)) return 1;
    uint64_t total = 0;
    for (uint32_t i = 0; i < corefile_image.numfiles; i++) {
        // The mount has already refused images where this comes out negative.
        uint32_t next = i + 1 < corefile_image.numfiles ? corefile_image.offsets[i + 1]
                                                        : corefile_image.romsize;
        int32_t size = (int32_t)(next - corefile_image.offsets[i]);
        printf("%s %d %u\n", corefile_image.names[i], size, corefile_image.offsets[i]);
        total += (uint64_t)size;
    }
    printf("total %u files %llu bytes\n", corefile_image.numfiles, (unsigned long long)total);
    corefile_closeimage();
    return 0;
}

// A stored name that would land outside the target directory is refused.
bool safe_name(const std::string &name) {
    if (name.empty() || name[0] == '/' || name.find('\\') != std::string::npos ||
        name.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

int cmd_extract(const char *image, const char *dir) {
    if (!mount(image)) return 1;
    // Entries are read back by name, and a name opens its first entry only:
    // an image with two entries that open as one name cannot be extracted
    // without losing one, so nothing is written.
    std::vector<std::pair<std::string, uint32_t>> opened;
    for (uint32_t i = 0; i < corefile_image.numfiles; i++)
        opened.push_back({lower(corefile_image.names[i]), i});
    std::sort(opened.begin(), opened.end());
    for (size_t k = 1; k < opened.size(); k++)
        if (opened[k].first == opened[k - 1].first) {
            uint32_t a = opened[k - 1].second, b = opened[k].second;
            std::string line = "entries " + std::to_string(a) + " (" + corefile_image.names[a] +
                               ") and " + std::to_string(b) + " (" + corefile_image.names[b] +
                               ") both open as " + opened[k].first + "; nothing extracted";
            corefile_closeimage();
            return fail(line);
        }
    int status = 0;
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) {
        corefile_closeimage();
        return fail(std::string("cannot create ") + dir + ": " + ec.message());
    }
    for (uint32_t i = 0; i < corefile_image.numfiles && status == 0; i++) {
        std::string name = corefile_image.names[i];
        if (!safe_name(name)) {
            status = fail("refusing to extract the unsafe name " + name);
            break;
        }
        COREFILE f = {};
        g_problems.clear();
        if (!corefile_open(name.c_str(), &f, 0)) {
            status = fail(g_problems.empty() ? "cannot open " + name : g_problems.front());
            break;
        }
        std::vector<unsigned char> data((size_t)std::max(0, corefile_fsize(&f)));
        corefile_read(data.data(), (int)data.size(), 1, &f);
        corefile_close(&f);
        fs::path target = fs::path(dir) / name;
        fs::create_directories(target.parent_path(), ec);
        AtomicFile out(target.string());
        if (ec || !out.ok() || !out.write(data.data(), data.size()) || !out.commit(default_mode()))
            status = fail("cannot write " + target.string());
    }
    if (status == 0) printf("extracted %u files into %s\n", corefile_image.numfiles, dir);
    corefile_closeimage();
    return status;
}

int cmd_verify(const char *image) {
    g_problems.clear();
    if (!corefile_mountimage(image, 0) || !g_problems.empty()) {
        corefile_closeimage();
        if (g_problems.empty()) g_problems.push_back(std::string("cannot mount ") + image);
        for (const std::string &p : g_problems) printf("%s\n", p.c_str());
        printf("%s: not valid\n", image);
        return 1;
    }
    std::vector<std::string> problems;
    auto problem = [&](const std::string &text) { problems.push_back(image + (": " + text)); };

    long length = -1;
    if (FILE *fp = fopen(image, "rb")) {
        if (fseek(fp, 0, SEEK_END) == 0) length = ftell(fp);
        fclose(fp);
    }
    uint64_t dirend = directory_end();
    std::vector<std::string> names;
    for (uint32_t i = 0; i < corefile_image.numfiles; i++) {
        const char *name = corefile_image.names[i];
        std::string label = "entry " + std::to_string(i) + " (" + name + ")";
        if (corefile_image.hashes[i] != corefile_gethash(name))
            problem(label + ": hash " + std::to_string(corefile_image.hashes[i]) +
                    " does not match the name's hash " + std::to_string(corefile_gethash(name)));
        if (lower(name) != name) problem(label + ": name is not lower case");
        if (corefile_image.offsets[i] < dirend)
            problem(label + ": offset " + std::to_string(corefile_image.offsets[i]) +
                    " lies inside the header or directory (which ends at " +
                    std::to_string(dirend) + ")");
        names.push_back(name);
    }
    if (corefile_image.numfiles == 0 && corefile_image.romsize < dirend)
        problem("romsize " + std::to_string(corefile_image.romsize) + " lies inside the header");
    if (length >= 0 && (uint64_t)length != corefile_image.romsize)
        problem("romsize " + std::to_string(corefile_image.romsize) +
                " is not the end of the file (" + std::to_string(length) + " bytes)");
    std::sort(names.begin(), names.end());
    for (size_t i = 1; i < names.size(); i++)
        if (names[i] == names[i - 1] && (i < 2 || names[i - 2] != names[i]))
            problem("the name " + names[i] + " appears more than once");
    corefile_closeimage();

    for (const std::string &p : problems) printf("%s\n", p.c_str());
    if (!problems.empty()) {
        printf("%s: %zu problems\n", image, problems.size());
        return 1;
    }
    printf("%s: OK\n", image);
    return 0;
}

// ---------------------------------------------------------------------------
// append

bool read_whole(const char *path, std::vector<unsigned char> &out) {
    FILE *fp = fopen(path, "rb");
    if (!fp) return false;
    unsigned char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, fp)) > 0) out.insert(out.end(), buf, buf + n);
    bool ok = !ferror(fp);
    fclose(fp);
    return ok;
}

// Positions in an appended image are absolute in the host, so the header
// and directory are written again with every position moved by the host's
// length; the bytes after the directory are copied unchanged.
int cmd_append(const char *host, const char *image) {
    std::vector<unsigned char> hostbytes, imagebytes;
    if (!read_whole(host, hostbytes)) return fail(std::string("cannot read ") + host);
    if (!read_whole(image, imagebytes)) return fail(std::string("cannot read ") + image);
    if (!mount(image)) return 1;
    uint64_t at = hostbytes.size();
    uint64_t dirend = directory_end();
    if (at + imagebytes.size() + 4 > kMaxImageSize || dirend > imagebytes.size()) {
        corefile_closeimage();
        return fail("the result would be larger than 2 GiB");
    }
    std::vector<unsigned char> head;
    head.insert(head.end(), {'C', 'O', 'R', 'E'});
    put32(head, corefile_image.numfiles);
    put32(head, (uint32_t)(corefile_image.romsize + at));
    for (uint32_t i = 0; i < corefile_image.numfiles; i++) {
        const char *name = corefile_image.names[i];
        put32(head, (uint32_t)strlen(name));
        put32(head, (uint32_t)corefile_image.hashes[i]);
        head.insert(head.end(), name, name + strlen(name));
        put32(head, (uint32_t)(corefile_image.offsets[i] + at));
    }
    corefile_closeimage();
    std::vector<unsigned char> tail;
    put32(tail, (uint32_t)at);

    struct stat st;
    mode_t mode = stat(host, &st) == 0 ? (st.st_mode & 07777) : default_mode();
    AtomicFile out(host);
    if (!out.ok() || !out.write(hostbytes.data(), hostbytes.size()) ||
        !out.write(head.data(), head.size()) ||
        !out.write(imagebytes.data() + dirend, imagebytes.size() - dirend) ||
        !out.write(tail.data(), tail.size()) || !out.commit(mode))
        return fail(std::string("cannot write ") + host);
    printf("appended %s to %s at position %llu\n", image, host, (unsigned long long)at);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    corefile_setmessagehook(on_message);
    if (argc < 2) return usage();
    std::string cmd = argv[1];
    if (cmd == "pack" && argc >= 4) return cmd_pack(argv[2], argc - 3, argv + 3);
    if (cmd == "list" && argc == 3) return cmd_list(argv[2]);
    if (cmd == "extract" && argc == 4) return cmd_extract(argv[2], argv[3]);
    if (cmd == "verify" && argc == 3) return cmd_verify(argv[2]);
    if (cmd == "append" && argc == 4) return cmd_append(argv[2], argv[3]);
    return usage();
}
