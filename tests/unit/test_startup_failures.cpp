// The real game binary in a folder of its own: each start-up failure ends with a message and
// status 1, and with a sound device that writes to a file, the music is really heard.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef GAME_BINARY
#error "GAME_BINARY must name the built game"
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::string read_file(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

std::string run_command(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// Answers every open message box with Return, as a player would.
void answer_message_boxes() {
    std::istringstream ids(run_command("xdotool search --class Xmessage 2>/dev/null"));
    std::string id;
    while (ids >> id)
        run_command("xdotool windowfocus --sync " + id + " key Return 2>/dev/null");
}

// A 2x2 24-bit BMP: the smallest picture `dat` grabs.
std::string tiny_bmp() {
    std::string b(70, '\0');
    auto put32 = [&b](int at, unsigned v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<char>((v >> (8 * i)) & 0xff);
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, 70);
    put32(10, 54);
    put32(14, 40);
    put32(18, 2);
    put32(22, 2);
    b[26] = 1;
    b[28] = 24;
    put32(34, 16);
    for (int i = 54; i < 70; ++i)
        b[i] = static_cast<char>(0x40);
    return b;
}

struct Outcome {
    bool finished = false;  // on its own, before the deadline
    int status = -1;        // exit status, or -1 when ended by a signal
    int signal = 0;
    double seconds = 0;
    std::string stderr_text;
    std::string message;  // what the game handed to the message box, empty when none
};

// A folder holding a copy of the game and the test allegro.cfg, its working directory.
class GameFolder {
public:
    GameFolder() {
        char tmpl[] = "/tmp/vorn-game-XXXXXX";
        dir_ = mkdtemp(tmpl);
        fs::copy_file(GAME_BINARY, dir_ / "ghosts-of-vorn");
        fs::copy_file("allegro.cfg", dir_ / "allegro.cfg");
        // Records the message box's text on its way to the real xmessage.
        fs::create_directory(dir_ / "shim");
        write_file(dir_ / "shim" / "xmessage",
                   "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + (dir_ / "message.txt").string() +
                       "'\nexec /usr/bin/xmessage \"$@\"\n");
        fs::permissions(dir_ / "shim" / "xmessage", fs::perms::owner_all);
    }
    ~GameFolder() { fs::remove_all(dir_); }
    const fs::path& path() const { return dir_; }

    // Runs the game until it ends or `seconds` pass; with `stop_after`, ends it then instead.
    Outcome run(double seconds, bool with_display = true, bool stop_after = false,
                const std::vector<std::string>& env = {}) {
        Outcome o;
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            if (chdir(dir_.c_str()) != 0)
                _exit(99);
            freopen((dir_ / "stderr.txt").c_str(), "w", stderr);
            freopen((dir_ / "stdout.txt").c_str(), "w", stdout);
            const std::string path = (dir_ / "shim").string() + ":" + getenv("PATH");
            setenv("PATH", path.c_str(), 1);
            if (!with_display)
                unsetenv("DISPLAY");
            for (const std::string& e : env)
                putenv(strdup(e.c_str()));
            execl("./ghosts-of-vorn", "ghosts-of-vorn", static_cast<char*>(nullptr));
            _exit(98);
        }
        int status = 0;
        auto last_answer = start;
        for (;;) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                o.finished = true;
                break;
            }
            const auto now = Clock::now();
            if (now - start > std::chrono::duration<double>(seconds)) {
                kill(pid, stop_after ? SIGTERM : SIGKILL);
                bool reaped = false;
                for (int i = 0; i < 150 && !reaped; ++i) {
                    reaped = waitpid(pid, &status, WNOHANG) == pid;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                if (!reaped) {
                    kill(pid, SIGKILL);
                    waitpid(pid, &status, 0);
                }
                break;
            }
            if (with_display && now - last_answer > std::chrono::milliseconds(200)) {
                answer_message_boxes();
                last_answer = now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        o.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (WIFEXITED(status))
            o.status = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            o.signal = WTERMSIG(status);
        o.stderr_text = read_file(dir_ / "stderr.txt");
        o.message = read_file(dir_ / "message.txt");
        return o;
    }

private:
    fs::path dir_;
};

// Builds a datafile of `count` small pictures with `dat`, protected when `password` is given.
void make_picture_datafile(const fs::path& out, int count, const char* password) {
    const fs::path items = out.parent_path() / "items";
    fs::create_directory(items);
    std::string names;
    for (int i = 0; i < count; ++i) {
        char name[32];
        snprintf(name, sizeof name, "p%03d.bmp", i);
        write_file(items / name, tiny_bmp());
        names += std::string(" ") + name;
    }
    std::string cmd = "cd '" + items.string() + "' && dat -n0 -c2 ";
    if (password)
        cmd += std::string("-007 ") + password + " ";
    cmd += "'" + out.string() + "' -a -t BMP" + names + " >/dev/null 2>&1";
    ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
    fs::remove_all(items);
}

double rms_about_mean(const std::vector<double>& v) {
    double mean = 0;
    for (double x : v)
        mean += x;
    mean /= v.size();
    double sum = 0;
    for (double x : v)
        sum += (x - mean) * (x - mean);
    return std::sqrt(sum / v.size());
}

}  // namespace

TEST(StartupFailure, EndsWithAMessageAndStatusOne) {
    ASSERT_TRUE(fs::exists("data.dat")) << "run from the test folder, beside data.dat";
    const std::string real_data = fs::canonical("data.dat").string();
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> prepare;
        std::vector<std::string> message_has;
    };
    const Case cases[] = {
        {"no data.dat", [](const fs::path&) {}, {"Unable to load the data file", "data.dat"}},
        {"datapath.cfg names a missing file",
         [](const fs::path& d) { write_file(d / "datapath.cfg", "[data]\npath = /nowhere/vorn.dat\n"); },
         {"Unable to load the data file", "/nowhere/vorn.dat"}},
        {"data.dat cut short",
         [&](const fs::path& d) {
             std::string data = read_file(real_data);
             write_file(d / "data.dat", data.substr(0, data.size() / 2));
         },
         {"Unable to load the data file", "data.dat"}},
        {"data.dat overwritten in the middle",
         [&](const fs::path& d) {
             std::string data = read_file(real_data);
             for (std::size_t i = data.size() / 3; i < data.size() / 3 + 4096 && i < data.size(); ++i)
                 data[i] = static_cast<char>(i * 37);
             write_file(d / "data.dat", data);
         },
         {"data.dat"}},
        {"data.dat made without the password",
         [](const fs::path& d) { make_picture_datafile(d / "data.dat", 108, nullptr); },
         {"Unable to load the data file", "data.dat"}},
        {"a picture where the heading font belongs",
         [](const fs::path& d) { make_picture_datafile(d / "data.dat", 108, "mangotwist"); },
         {"no font at item 86", "data.dat"}},
        {"too few items",
         [](const fs::path& d) { make_picture_datafile(d / "data.dat", 20, "mangotwist"); },
         {"no picture at item 32", "data.dat"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GameFolder game;
        c.prepare(game.path());
        const Outcome o = game.run(15);
        ASSERT_TRUE(o.finished) << "still running after " << o.seconds << " s";
        EXPECT_EQ(o.signal, 0) << "killed by a signal";
        EXPECT_EQ(o.status, 1);
        EXPECT_LT(o.seconds, 6);
        ASSERT_FALSE(o.message.empty()) << "no message box; stderr: " << o.stderr_text;
        for (const std::string& part : c.message_has)
            EXPECT_NE(o.message.find(part), std::string::npos) << "message: " << o.message;
    }
}

TEST(StartupFailure, NoDisplaySaysSoOnStandardError) {
    GameFolder game;
    fs::create_symlink(fs::canonical("data.dat"), game.path() / "data.dat");
    const Outcome o = game.run(15, false);
    ASSERT_TRUE(o.finished);
    EXPECT_EQ(o.signal, 0);
    EXPECT_EQ(o.status, 1);
    EXPECT_LT(o.seconds, 5);
    EXPECT_NE(o.stderr_text.find("unable to start the game library"), std::string::npos) << o.stderr_text;
    EXPECT_TRUE(o.message.empty());
}

// The game found through "datapath.cfg" plays its music into an ALSA file device.
TEST(GameRun, MusicIsHeard) {
    GameFolder game;
    const fs::path dir = game.path();
    const fs::path raw = dir / "out.raw";
    fs::create_directory(dir / "home");
    write_file(dir / "home" / ".asoundrc", "pcm.vorncapture {\n  type file\n  slave.pcm \"null\"\n  file \"" +
                                              raw.string() + "\"\n  format \"raw\"\n}\n");
    std::string cfg = read_file(dir / "allegro.cfg");
    const auto at = cfg.find("alsa_device");
    ASSERT_NE(at, std::string::npos);
    cfg.replace(at, cfg.find('\n', at) - at, "alsa_device = vorncapture");
    write_file(dir / "allegro.cfg", cfg);
    write_file(dir / "datapath.cfg", "[data]\npath = " + fs::canonical("data.dat").string() + "\n");

    const Outcome o = game.run(5, true, true, {"HOME=" + (dir / "home").string()});
    EXPECT_FALSE(o.finished) << "the game ended early, status " << o.status << ": " << o.message
                             << o.stderr_text;

    const std::string bytes = read_file(raw);
    ASSERT_GT(bytes.size(), 100000u) << "too little sound output";
    // The sample format is the driver's choice: take the reading, signed or unsigned, that is quieter.
    std::vector<double> as_signed, as_unsigned;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        as_unsigned.push_back(v);
        as_signed.push_back(static_cast<std::int16_t>(v));
    }
    const double rms = std::min(rms_about_mean(as_signed), rms_about_mean(as_unsigned));
    EXPECT_GT(rms, 200) << "the music is silent or nearly so";
}
