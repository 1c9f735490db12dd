// virtual-port: runs a command with a pseudo-terminal standing in for
// /dev/ttyACM0, then reports what the "device" on the other end saw.
//
// The command runs in a private mount namespace (and a user namespace when
// not started as root) with a private tmpfs over /dev, so nothing is ever
// created in the machine's real /dev. Its stdout and stderr pass through
// untouched; the report goes to stderr, or to a file with --report.

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr char port_path[] = "/dev/ttyACM0";
constexpr int setup_failure = 125;  // as env(1) and timeout(1) do

const char usage[] =
    "usage: virtual-port [options] [--] command [argument...]\n"
    "\n"
    "Runs the command with a pseudo-terminal at /dev/ttyACM0 in a private\n"
    "mount namespace, then reports the bytes the device received and the\n"
    "line settings before and after.\n"
    "\n"
    "  --speed BAUD        start the line at this speed (default 9600)\n"
    "  --stop-bits 1|2     start with one or two stop bits (default 1)\n"
    "  --flow on|off       start with RTS/CTS flow control (default off)\n"
    "  --echo on|off       start with echo and canonical mode (default on)\n"
    "  --exclusive         hold the port in exclusive mode (TIOCEXCL), open\n"
    "                      to every user, so that only root can open it too\n"
    "  --fault KIND        what stands at the path (default none):\n"
    "%s"
    "  --format text|keys  the report as a table or as key=value lines\n"
    "  --report FILE       write the report to FILE instead of stderr\n"
    "  --timeout SECONDS   kill the command after this long (default 10)\n"
    "\n"
    "Exits with the command's exit status, 128+N if signal N ended it, or\n"
    "125 if the port could not be set up or an option is not valid.\n";

struct Port {
    int master = -1;
    int slave = -1;  // held open so the line keeps its settings between opens
};

// What the run found at the path, beyond the line and the bytes.
struct Report;

// Everything about a fault kind, in one row: its name, what it is, and how
// it is laid at the path (after /dev is covered; the port, when there is
// one, is already bound there).
struct FaultKind {
    const char* name;         // as --fault takes it
    const char* description;  // for --help
    const char* what_it_was;  // for the report: "/dev/ttyACM0 ..."
    bool is_pty;              // a pseudo-terminal stands at the path
    void (*lay)(Port&, Report&);
};

void lay_nothing(Port& /*port*/, Report& /*report*/) {}
void lay_file(Port& port, Report& report);
void lay_fifo(Port& port, Report& report);
void lay_null(Port& port, Report& report);
void lay_full_buffer(Port& port, Report& report);
void lay_hangup(Port& port, Report& report);

const FaultKind fault_kinds[] = {
    {"none", "a pseudo-terminal whose device reads everything", "was a pseudo-terminal", true, lay_nothing},
    {"missing", "no node at the path", "did not exist", false, lay_nothing},
    {"file", "a regular file, as a stray shell redirect leaves", "was a regular file", false, lay_file},
    {"fifo", "a FIFO", "was a FIFO", false, lay_fifo},
    {"null", "/dev/null, a device that is no terminal", "was /dev/null", false, lay_null},
    {"full", "a device that reads nothing, its buffer full", "was a pseudo-terminal whose device reads nothing",
     true, lay_full_buffer},
    {"hangup", "a device that has gone away", "was a pseudo-terminal whose device had hung up", true, lay_hangup},
};

struct Options {
    speed_t speed = B9600;
    bool two_stop_bits = false;
    bool flow_control = false;
    bool echo = true;
    bool exclusive = false;
    const FaultKind* fault = &fault_kinds[0];
    bool keys = false;
    const char* report_path = nullptr;
    int timeout_s = 10;
    char** command = nullptr;
};

struct Speed {
    unsigned long baud;
    speed_t code;
};

const Speed speeds[] = {
    {0, B0},         {50, B50},         {75, B75},         {110, B110},
    {134, B134},     {150, B150},       {200, B200},       {300, B300},
    {600, B600},     {1200, B1200},     {1800, B1800},     {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
};

unsigned long baud_of(speed_t code) {
    for (const Speed& s : speeds) {
        if (s.code == code) return s.baud;
    }
    return 0;
}

[[noreturn]] void fail(const std::string& what) {
    (void)std::fprintf(stderr, "virtual-port: %s\n", what.c_str());
    std::exit(setup_failure);
}

[[noreturn]] void fail_errno(const std::string& what) {
    fail(what + ": " + std::strerror(errno));
}

// A whole decimal number, or nothing: "abc", "5x", "" and overflow are not.
bool parse_number(const char* text, unsigned long& number) {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    number = std::strtoul(text, &end, 10);
    return errno == 0 && *end == '\0';
}

void print_usage() {
    std::string kinds;
    for (const FaultKind& k : fault_kinds) {
        char row[128];
        (void)std::snprintf(row, sizeof row, "                        %-8s %s\n", k.name, k.description);
        kinds += row;
    }
    (void)std::printf(usage, kinds.c_str());
}

// For an option that takes one of two words: whether it was the second.
bool is_second_of(const char* value, const char* option, const char* first, const char* second) {
    if (std::strcmp(value, second) == 0) return true;
    if (std::strcmp(value, first) == 0) return false;
    fail(std::string(option) + " takes " + first + " or " + second + ", not '" + value + "'");
}

speed_t parse_speed(const char* v) {
    unsigned long baud = 0;
    if (parse_number(v, baud)) {
        for (const Speed& s : speeds) {
            if (s.baud == baud) return s.code;
        }
    }
    fail(std::string("--speed takes a baud rate the line supports, not '") + v + "'");
}

const FaultKind* parse_fault(const std::string& v) {
    for (const FaultKind& k : fault_kinds) {
        if (v == k.name) return &k;
    }
    fail("--fault takes a kind that --help lists, not '" + v + "'");
}

int parse_timeout(const char* v) {
    unsigned long seconds = 0;
    if (!parse_number(v, seconds) || seconds == 0 || seconds > 86400) {
        fail(std::string("--timeout takes a whole number of seconds from 1 to 86400, not '") + v + "'");
    }
    return static_cast<int>(seconds);
}

Options parse(int argc, char** argv) {
    Options o;
    int i = 1;
    auto value = [&](const char* option) -> const char* {
        if (i + 1 >= argc) fail(std::string(option) + " needs a value");
        return argv[++i];
    };
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.rfind("--", 0) != 0) break;
        if (arg == "--help") {
            print_usage();
            std::exit(0);
        } else if (arg == "--speed") {
            o.speed = parse_speed(value("--speed"));
        } else if (arg == "--stop-bits") {
            o.two_stop_bits = is_second_of(value("--stop-bits"), "--stop-bits", "1", "2");
        } else if (arg == "--flow") {
            o.flow_control = is_second_of(value("--flow"), "--flow", "off", "on");
        } else if (arg == "--echo") {
            o.echo = is_second_of(value("--echo"), "--echo", "off", "on");
        } else if (arg == "--exclusive") {
            o.exclusive = true;
        } else if (arg == "--fault") {
            o.fault = parse_fault(value("--fault"));
        } else if (arg == "--format") {
            o.keys = is_second_of(value("--format"), "--format", "text", "keys");
        } else if (arg == "--report") {
            o.report_path = value("--report");
        } else if (arg == "--timeout") {
            o.timeout_s = parse_timeout(value("--timeout"));
        } else {
            fail("unknown option " + arg + " (see --help)");
        }
    }
    if (i >= argc) fail("no command given (see --help)");
    o.command = argv + i;
    return o;
}

void write_file(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        fail_errno(std::string("cannot write ") + path);
    }
    close(fd);
}

// Root only needs a mount namespace; anyone else gets one inside a user
// namespace of their own, mapped to their own ids.
void enter_private_namespace() {
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    if (uid == 0) {
        if (unshare(CLONE_NEWNS) != 0) fail_errno("cannot create a mount namespace");
    } else {
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            fail_errno("cannot create a user and mount namespace (unprivileged user namespaces may be off)");
        }
        write_file("/proc/self/setgroups", "deny");
        write_file("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1");
        write_file("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1");
    }
    // Keep every mount made from here on out of the parent namespace.
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        fail_errno("cannot make the mount namespace private");
    }
}

void bind(int source_fd, const char* target) {
    const std::string source = "/proc/self/fd/" + std::to_string(source_fd);
    if (mount(source.c_str(), target, nullptr, MS_BIND, nullptr) != 0) {
        fail_errno(std::string("cannot bind-mount ") + target);
    }
}

void make_empty_file(const char* path) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) fail_errno(std::string("cannot create ") + path);
    close(fd);
}

// Covers /dev with a private tmpfs that holds the usual harmless nodes, taken
// over from the real /dev by bind mounts, and the port.
void cover_dev(int port_fd) {
    const char* kept[] = {"null", "zero", "full", "random", "urandom", "tty"};
    std::vector<int> kept_fds;
    for (const char* name : kept) {
        const std::string path = std::string("/dev/") + name;
        kept_fds.push_back(open(path.c_str(), O_PATH | O_CLOEXEC));
    }
    if (mount("tmpfs", "/dev", "tmpfs", MS_NOSUID | MS_NOEXEC, "mode=755,size=1m") != 0) {
        fail_errno("cannot mount a tmpfs on /dev");
    }
    for (size_t k = 0; k < kept_fds.size(); ++k) {
        if (kept_fds[k] < 0) continue;
        const std::string path = std::string("/dev/") + kept[k];
        make_empty_file(path.c_str());
        bind(kept_fds[k], path.c_str());
        close(kept_fds[k]);
    }
    const char* links[][2] = {{"/proc/self/fd", "/dev/fd"},
                              {"/proc/self/fd/0", "/dev/stdin"},
                              {"/proc/self/fd/1", "/dev/stdout"},
                              {"/proc/self/fd/2", "/dev/stderr"}};
    for (const auto& link : links) {
        if (symlink(link[0], link[1]) != 0) fail_errno(std::string("cannot link ") + link[1]);
    }
    if (port_fd >= 0) {
        make_empty_file(port_path);
        bind(port_fd, port_path);
    }
}

Port open_pty() {
    Port p;
    p.master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p.master < 0 || grantpt(p.master) != 0 || unlockpt(p.master) != 0) {
        fail_errno("cannot open a pseudo-terminal");
    }
    const char* name = ptsname(p.master);
    if (name == nullptr) fail_errno("cannot name the pseudo-terminal");
    p.slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (p.slave < 0) fail_errno("cannot open the pseudo-terminal's device side");
    return p;
}

void set_initial_line(const Port& port, const Options& o) {
    termios t{};
    if (tcgetattr(port.slave, &t) != 0) fail_errno("cannot read the line settings");
    cfsetispeed(&t, o.speed);
    cfsetospeed(&t, o.speed);
    if (o.two_stop_bits) {
        t.c_cflag |= CSTOPB;
    } else {
        t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    }
    if (o.flow_control) {
        t.c_cflag |= CRTSCTS;
    } else {
        t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    }
    const tcflag_t echo_modes = ECHO | ICANON;
    if (o.echo) {
        t.c_lflag |= echo_modes;
    } else {
        t.c_lflag &= ~echo_modes;
    }
    if (tcsetattr(port.slave, TCSANOW, &t) != 0) fail_errno("cannot set the line settings");
    // Exclusive mode is all that stands in the way: the node itself is open
    // to everyone.
    if (o.exclusive && (fchmod(port.slave, 0666) != 0 || ioctl(port.slave, TIOCEXCL) != 0)) {
        fail_errno("cannot hold the port in exclusive mode");
    }
}

// The most unread bytes the master's line discipline holds (the kernel's
// N_TTY_BUF_SIZE less one, in raw mode). Once it holds them, nothing moves
// on towards the device until someone reads.
constexpr int master_holds_at_most = 4095;

// Fills the device-bound side until the kernel refuses a byte and nothing
// can drain any more: the pty hands written bytes on to the master from a
// work queue, so a refusal only stands once the master holds all it takes.
// Waits for that state, polling, and gives up after a bound that only a
// kernel that never gets there reaches.
size_t fill_output_buffer(const Port& port) {
    const std::vector<unsigned char> chunk(4096, 'U');
    size_t total = 0;
    for (int polls = 0;; ++polls) {
        for (size_t size = chunk.size(); size > 0;) {
            const ssize_t n = write(port.slave, chunk.data(), size);
            if (n > 0) {
                total += static_cast<size_t>(n);
            } else if (n == 0 || errno == EAGAIN) {
                size /= 2;
            } else {
                fail_errno("cannot fill the port's buffer");
            }
        }
        int held = 0;
        if (ioctl(port.master, FIONREAD, &held) != 0) fail_errno("cannot count the bytes the device side holds");
        if (held >= master_holds_at_most) return total;
        if (polls == 10000) {
            fail("the port's buffer never filled: the device side holds " + std::to_string(held) + " bytes");
        }
        usleep(1000);
    }
}

std::string drain(int master) {
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0) return bytes;
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

double now_ms() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Run {
    int status = 0;
    bool timed_out = false;
    double duration_ms = 0;
    std::string received;
};

// Written from SIGCHLD, so that one poll waits for both the device's bytes
// and the command's exit.
int child_exited_pipe[2] = {-1, -1};

void on_child_exit(int /*signal*/) {
    const int saved = errno;
    (void)!write(child_exited_pipe[1], "x", 1);
    errno = saved;
}

void watch_for_child_exit() {
    if (pipe2(child_exited_pipe, O_CLOEXEC | O_NONBLOCK) != 0) fail_errno("cannot make a pipe");
    struct sigaction action {};
    action.sa_handler = on_child_exit;
    action.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    if (sigaction(SIGCHLD, &action, nullptr) != 0) fail_errno("cannot watch for the command's exit");
}

// Runs the command while the device side reads everything it is sent, unless
// the device is one that reads nothing. Sleeps until bytes arrive, the
// command exits or its time is up.
Run run_command(const Options& o, const Port& port, bool device_reads) {
    Run run;
    watch_for_child_exit();
    const double start = now_ms();
    const pid_t child = fork();
    if (child < 0) fail_errno("cannot fork");
    if (child == 0) {
        execvp(o.command[0], o.command);
        (void)std::fprintf(stderr, "virtual-port: cannot run %s: %s\n", o.command[0], std::strerror(errno));
        _exit(127);
    }
    const double deadline = start + o.timeout_s * 1000.0;
    pollfd watched[] = {{child_exited_pipe[0], POLLIN, 0}, {device_reads ? port.master : -1, POLLIN, 0}};
    while (waitpid(child, &run.status, WNOHANG) != child) {
        const double left_ms = deadline - now_ms();
        if (left_ms <= 0 && !run.timed_out) {
            run.timed_out = true;
            kill(child, SIGKILL);
        }
        const int wait_ms = run.timed_out ? -1 : static_cast<int>(left_ms) + 1;
        const int ready = poll(watched, 2, wait_ms);
        if (ready < 0 && errno != EINTR) fail_errno("cannot wait for the command");
        // Nothing woke the port before the deadline: the command is still
        // running, as far as the port can tell.
        if (ready == 0 && !run.timed_out) {
            run.timed_out = true;
            kill(child, SIGKILL);
        }
        char drained[64];
        while (read(child_exited_pipe[0], drained, sizeof drained) > 0) {
        }
        if (watched[1].revents & POLLIN) run.received += drain(port.master);
    }
    run.duration_ms = now_ms() - start;
    if (port.master >= 0) run.received += drain(port.master);
    return run;
}

std::string hex(const std::string& bytes, const char* separator) {
    std::string out;
    char b[3];
    for (size_t i = 0; i < bytes.size(); ++i) {
        (void)std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i > 0) out += separator;
        out += b;
    }
    return out;
}

std::string hex(unsigned long value) {
    char b[32];
    (void)std::snprintf(b, sizeof b, "%lx", value);
    return b;
}

struct Line {
    bool present = false;
    termios t{};
};

Line read_line(int slave) {
    Line l;
    l.present = slave >= 0 && tcgetattr(slave, &l.t) == 0;
    return l;
}

struct Setting {
    const char* key;
    const char* label;
    std::string (*show)(const termios&);
    bool in_table = true;  // the raw flags are for the key=value report only
};

std::string on_off(bool b) { return b ? "on" : "off"; }

const Setting settings[] = {
    {"ispeed", "input speed", [](const termios& t) { return std::to_string(baud_of(cfgetispeed(&t))); }},
    {"ospeed", "output speed", [](const termios& t) { return std::to_string(baud_of(cfgetospeed(&t))); }},
    {"data_bits", "data bits *",
     [](const termios& t) {
         switch (t.c_cflag & CSIZE) {
             case CS5: return std::string("5");
             case CS6: return std::string("6");
             case CS7: return std::string("7");
             default: return std::string("8");
         }
     }},
    {"parity", "parity *",
     [](const termios& t) {
         if (!(t.c_cflag & PARENB)) return std::string("none");
         return std::string(t.c_cflag & PARODD ? "odd" : "even");
     }},
    {"stop_bits", "stop bits", [](const termios& t) { return std::string(t.c_cflag & CSTOPB ? "2" : "1"); }},
    {"flow_control", "RTS/CTS flow control", [](const termios& t) { return on_off(t.c_cflag & CRTSCTS); }},
    {"echo", "echo", [](const termios& t) { return on_off(t.c_lflag & ECHO); }},
    {"canonical", "canonical mode", [](const termios& t) { return on_off(t.c_lflag & ICANON); }},
    {"iflag", "c_iflag", [](const termios& t) { return hex(t.c_iflag); }, false},
    {"oflag", "c_oflag", [](const termios& t) { return hex(t.c_oflag); }, false},
    {"cflag", "c_cflag", [](const termios& t) { return hex(t.c_cflag); }, false},
    {"lflag", "c_lflag", [](const termios& t) { return hex(t.c_lflag); }, false},
    {"cc", "c_cc", [](const termios& t) { return hex(std::string(reinterpret_cast<const char*>(t.c_cc), NCCS), ""); },
     false},
};

std::string exit_text(const Run& run) {
    if (WIFEXITED(run.status)) return "exited with status " + std::to_string(WEXITSTATUS(run.status));
    return "was killed by signal " + std::to_string(WTERMSIG(run.status)) + (run.timed_out ? " (timed out)" : "");
}

struct Report {
    const FaultKind* fault;
    Line before, after;
    Run run;
    size_t prefilled = 0;
    bool filler_intact = true;
    bool has_node_contents = false;
    std::string node_contents_before, node_contents_after;
};

std::string keys(const Report& r) {
    std::string s;
    auto add = [&](const std::string& k, const std::string& v) { s += k + "=" + v + "\n"; };
    add("fault", r.fault->name);
    add("exit_status", WIFEXITED(r.run.status) ? std::to_string(WEXITSTATUS(r.run.status)) : "");
    add("signal", WIFSIGNALED(r.run.status) ? std::to_string(WTERMSIG(r.run.status)) : "");
    add("timed_out", r.run.timed_out ? "1" : "0");
    add("duration_ms", std::to_string(r.run.duration_ms));
    add("prefilled_bytes", std::to_string(r.prefilled));
    add("filler_intact", r.filler_intact ? "1" : "0");
    add("received_bytes", std::to_string(r.run.received.size()));
    add("received", hex(r.run.received, ""));
    if (r.has_node_contents) {
        add("node_before", hex(r.node_contents_before, ""));
        add("node_after", hex(r.node_contents_after, ""));
    }
    const std::pair<const char*, const Line*> lines[] = {{"before", &r.before}, {"after", &r.after}};
    for (const auto& line : lines) {
        if (!line.second->present) continue;
        for (const Setting& setting : settings) {
            add(std::string(line.first) + "." + setting.key, setting.show(line.second->t));
        }
    }
    return s;
}

std::string text(const Report& r) {
    std::string s = std::string("\n--- virtual-port: /dev/ttyACM0 ") + r.fault->what_it_was + "\n";
    if (r.prefilled > 0) {
        s += "the device had left " + std::to_string(r.prefilled) + " bytes unread before the run" +
             (r.filler_intact ? "" : " (and they did not come out intact)") + "\n";
    }
    const std::string& received = r.run.received;
    s += "device received " + std::to_string(received.size()) + " byte" + (received.size() == 1 ? "" : "s");
    s += received.empty() ? "\n" : ": " + hex(received, " ") + "\n";
    if (r.has_node_contents) {
        s += std::string("the file's contents ") +
             (r.node_contents_before == r.node_contents_after ? "were left unchanged\n" : "changed\n");
    }
    if (r.before.present) {
        char row[96];
        (void)std::snprintf(row, sizeof row, "%-24s %-12s %s\n", "line setting", "before", "after");
        s += row;
        for (const Setting& setting : settings) {
            if (!setting.in_table) continue;
            (void)std::snprintf(row, sizeof row, "  %-22s %-12s %s\n", setting.label, setting.show(r.before.t).c_str(),
                          r.after.present ? setting.show(r.after.t).c_str() : "-");
            s += row;
        }
        s += "  * a pseudo-terminal always reports 8 data bits and no parity\n";
    }
    s += "the command " + exit_text(r.run) + "\n";
    return s;
}

std::string read_node(const char* path) {
    std::string bytes;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return bytes;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<size_t>(n));
    close(fd);
    return bytes;
}

// What a stray shell redirect leaves behind; a caller must find it as it was.
void lay_file(Port& /*port*/, Report& r) {
    r.has_node_contents = true;
    r.node_contents_before = "stale capture left by a shell redirect\n";
    const int fd = open(port_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 || write(fd, r.node_contents_before.data(), r.node_contents_before.size()) < 0) {
        fail_errno("cannot create the regular file");
    }
    close(fd);
}

void lay_fifo(Port& /*port*/, Report& /*report*/) {
    if (mkfifo(port_path, 0666) != 0) fail_errno("cannot make the FIFO");
}

void lay_null(Port& /*port*/, Report& /*report*/) {
    make_empty_file(port_path);
    const int null_fd = open("/dev/null", O_PATH | O_CLOEXEC);
    if (null_fd < 0) fail_errno("cannot open /dev/null");
    bind(null_fd, port_path);
    close(null_fd);
}

// The device reads nothing from here on, so run_command leaves it unread.
// Its output is stopped too, as flow control stops a device's: the kernel
// may free a block of the buffer it was moving just after the fill, and a
// stopped line takes nothing, so that space never takes the command.
void lay_full_buffer(Port& port, Report& r) {
    r.prefilled = fill_output_buffer(port);
    if (tcflow(port.slave, TCOOFF) != 0) fail_errno("cannot stop the port's output");
}

// The other end is gone for good: the line has hung up.
void lay_hangup(Port& port, Report& /*report*/) {
    close(port.master);
    close(port.slave);
    port = Port{};
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = parse(argc, argv);

    int report_fd = STDERR_FILENO;
    if (o.report_path != nullptr) {
        report_fd = open(o.report_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (report_fd < 0) fail_errno(std::string("cannot open ") + o.report_path);
    }

    enter_private_namespace();
    Report r;
    r.fault = o.fault;
    Port port;
    const bool is_pty = o.fault->is_pty;
    if (is_pty) {
        port = open_pty();
        set_initial_line(port, o);
        r.before = read_line(port.slave);
    }
    cover_dev(is_pty ? port.slave : -1);

    o.fault->lay(port, r);

    r.run = run_command(o, port, r.prefilled == 0);
    if (r.prefilled > 0) {
        // The filler comes out first; only what follows it is the command's.
        const std::string filler = r.run.received.substr(0, r.prefilled);
        r.filler_intact = filler == std::string(r.prefilled, 'U');
        r.run.received.erase(0, filler.size());
    }
    r.after = read_line(port.slave);
    if (r.has_node_contents) r.node_contents_after = read_node(port_path);

    const std::string out = o.keys ? keys(r) : text(r);
    if (write(report_fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
        fail_errno("cannot write the report");
    }
    if (WIFSIGNALED(r.run.status)) return 128 + WTERMSIG(r.run.status);
    return WEXITSTATUS(r.run.status);
}
