// reset_acm0: resets the device on the first USB CDC ACM serial port.
//
// One run opens /dev/ttyACM0, sets the line to 19200 baud 8N1, sends the
// four-byte reset command, gives the device 100 ms, prints one status line
// and exits 0 (all four bytes taken by the port) or 255 (anything else).
// It is run unattended, so no open, setting or write ever waits on the port,
// it never reads from it and it never claims success it did not see. Only
// the final close can wait: the driver holds it until the device has taken
// what the port accepted, at most for the port's closing wait (30 s by
// default for cdc_acm).
//
// Everything it holds lives on the stack; where the C library keeps the
// stack protector's guard word in its loader, that is a needed library too.

// The C library's own headers only: the static build compiles against
// musl, for which the C++ library's wrappers (<cstring>) are not made.
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The first CDC ACM device the kernel finds; the tool only ever talks to it.
constexpr char port_path[] = "/dev/ttyACM0";

// Non-blocking so that neither a missing carrier nor a full output buffer
// can hold the open or the write; no controlling tty, since this is a
// background job.
constexpr int open_flags = O_RDWR | O_NOCTTY | O_NONBLOCK;

// The device's reset command, in wire order. Kept as bytes, not as an
// integer, so the order on the wire never depends on the processor.
constexpr unsigned char reset_command[] = {0x80, 0xFF, 0xAA, 0x29};

// Time the device is given to act on the command before the port is closed
// and the caller goes on.
constexpr useconds_t reset_pause_us = 100000;

// The status lines callers match on, spelling included.
constexpr char open_error_line[] = "[SERIAL PORT OPEN ERRROR]\n";
constexpr char write_error_line[] = "[SERIAL PORT WRITE ERRROR]\n";
constexpr char success_line[] = "[SERIAL PORT WRITE SUCCESS]\n";

constexpr int exit_success = 0;
constexpr int exit_failure = -1;  // seen by the caller as 255

// The exit status is the one report a caller always gets, so no signal that
// the tool's own calls can raise may end or stop it after the command has
// gone out. Ignored, each such call fails with an error code or goes ahead:
// SIGPIPE: stdout is a pipe whose reader has gone (the write gets EPIPE);
// SIGXFSZ: stdout is a file at the caller's file size limit (EFBIG);
// SIGTTOU: the port or stdout is the controlling terminal of a session the
//   tool runs in the background of; the settings and the write go ahead,
//   as they would for a job in the foreground, instead of the tool being
//   stopped with the device half set up and the caller waiting forever.
constexpr int signals_from_own_calls[] = {SIGPIPE, SIGXFSZ, SIGTTOU};

void ignore_signals_from_own_calls() {
    for (const int sig : signals_from_own_calls) {
        (void)signal(sig, SIG_IGN);
    }
}

int open_port() { return open(port_path, open_flags); }

// The settings are only read here. They cannot be read from a node that is
// no terminal, nor from a terminal that fails the read; either way nothing
// is applied.
bool read_settings(int port, termios& line) { return tcgetattr(port, &line) == 0; }

// Anything but a device node at the port path is a leftover (typically a
// regular file made by a shell redirect while nothing was plugged in, which
// also keeps the kernel from creating the real node). Writing the command
// into it would corrupt the file and report a reset that never happened.
bool is_character_device(int port) {
    struct stat node;
    return fstat(port, &node) == 0 && S_ISCHR(node.st_mode);
}

// 19200 8N1, everything else left as the port had it. Both speeds are set:
// newer glibc keeps them apart, and the CDC ACM driver tells the device the
// output speed.
void configure_line(int port, termios& line) {
    cfsetispeed(&line, B19200);
    cfsetospeed(&line, B19200);
    line.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
    line.c_cflag |= CS8;
    line.c_cflag &= ~static_cast<tcflag_t>(PARENB);
    line.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    tcsetattr(port, TCSANOW, &line);
}

// One write, no retry: a non-blocking port takes all four bytes now or the
// reset has failed, and a partial command must not be completed later.
ssize_t send_reset_command(int port) {
    return write(port, reset_command, sizeof reset_command);
}

void wait_for_device() { usleep(reset_pause_us); }

// Written straight to the descriptor, so the line is out before the port
// closes and no stdio buffer is ever allocated. Each line is shorter than
// PIPE_BUF, so a pipe takes it whole. If the caller started us with stdout
// closed, the port itself got descriptor 1: the line is then dropped rather
// than sent to the device.
void report(int port, const char* line) {
    if (port != STDOUT_FILENO) {
        (void)!write(STDOUT_FILENO, line, strlen(line));
    }
}

}  // namespace

int main(int /*argc*/, char** /*argv*/) {
    ignore_signals_from_own_calls();

    const int port = open_port();
    if (port < 0) {
        report(port, open_error_line);
        return exit_failure;
    }

    // A terminal is a character device by definition, so the node type is
    // only looked at when the settings cannot be read (e.g. /dev/null).
    termios line;
    const bool is_terminal = read_settings(port, line);
    if (!is_terminal && !is_character_device(port)) {
        report(port, open_error_line);
        close(port);
        return exit_failure;
    }

    // Settings that could not be read are never applied: a zero-filled
    // record would switch the receiver, modes and flow control off.
    if (is_terminal) {
        configure_line(port, line);
    }

    const ssize_t sent = send_reset_command(port);
    wait_for_device();

    const bool all_sent = sent == static_cast<ssize_t>(sizeof reset_command);
    report(port, all_sent ? success_line : write_error_line);
    close(port);
    return all_sent ? exit_success : exit_failure;
}
