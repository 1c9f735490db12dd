#include "port_run.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string read_all(int fd) {
    std::string bytes;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

std::map<std::string, std::string> parse_keys(const std::string& text) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) keys[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return keys;
}

// Why the virtual port cannot be used here, if it cannot.
std::optional<std::string> namespaces_unavailable() {
    static const std::optional<std::string> why = []() -> std::optional<std::string> {
        PortRunRequest probe;
        probe.command = {"true"};
        const PortRun run = run_on_port(probe);
        if (run.exit_status == 0) return std::nullopt;
        return "the virtual port cannot be set up here: " + run.err;
    }();
    return why;
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = ::testing::TempDir() + "reset_acm0.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
    if (error) ADD_FAILURE() << "could not remove " << path_ << ": " << error.message();
}

ReachableTool::ReachableTool() : path_(dir_.file("reset_acm0")) {
    namespace fs = std::filesystem;
    const auto everyone = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
    fs::permissions(dir_.path(), everyone);
    fs::copy_file(RESET_ACM0_PATH, path_);
    fs::permissions(path_, everyone);
    // Every folder above must let the user through too, or the copy is no better.
    for (fs::path up = fs::path(path_).parent_path(); up != up.root_path(); up = up.parent_path()) {
        if ((fs::status(up).permissions() & fs::perms::others_exec) == fs::perms::none) {
            ADD_FAILURE() << up << " keeps other users out; set TEST_TMPDIR to a folder they can enter";
        }
    }
}

std::string PortRun::operator[](const std::string& key) const {
    const auto found = report.find(key);
    if (found == report.end()) {
        ADD_FAILURE() << "the report has no " << key;
        return {};
    }
    return found->second;
}

double PortRun::duration_ms() const { return std::stod((*this)["duration_ms"]); }

std::vector<std::string> tool_command(const std::vector<std::string>& prefix, const std::string& tool) {
    std::vector<std::string> command = prefix;
    if (const char* emulator = std::getenv("RESET_ACM0_EMULATOR")) {
        command.emplace_back(emulator);
        if (const char* root = std::getenv("RESET_ACM0_EMULATOR_ROOT")) command.insert(command.end(), {"-L", root});
    }
    command.push_back(tool);
    return command;
}

PortRun run_on_port(const PortRunRequest& request) {
    const TempDir dir;
    const std::string out_path = dir.file("stdout");
    const std::string err_path = dir.file("stderr");
    const std::string report_path = dir.file("report");

    std::vector<std::string> args{VIRTUAL_PORT_PATH, "--format", "keys", "--report", report_path};
    args.insert(args.end(), request.port_options.begin(), request.port_options.end());
    args.emplace_back("--");
    args.insert(args.end(), request.command.begin(), request.command.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out_pipe[2] = {-1, -1};
    if (request.stdout_to != Capture::file && pipe2(out_pipe, O_CLOEXEC) != 0) std::abort();
    if (request.stdout_to == Capture::dead_pipe) close(out_pipe[0]);

    const pid_t child = fork();
    if (child < 0) std::abort();
    if (child == 0) {
        const int out = request.stdout_to == Capture::file
                            ? open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                            : out_pipe[1];
        const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int nothing = open("/dev/null", O_RDONLY);
        if (out < 0 || err < 0 || nothing < 0) _exit(126);
        dup2(nothing, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }

    PortRun run;
    if (request.stdout_to != Capture::file) close(out_pipe[1]);
    if (request.stdout_to == Capture::pipe) {
        run.out = read_all(out_pipe[0]);
        close(out_pipe[0]);
    }
    int status = 0;
    waitpid(child, &status, 0);
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (request.stdout_to == Capture::file) run.out = slurp(out_path);
    run.err = slurp(err_path);
    run.report = parse_keys(slurp(report_path));
    return run;
}

std::vector<std::string> lines_with(const std::string& text, const std::string& marker) {
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(marker) != std::string::npos) found.push_back(line);
    }
    return found;
}

TracedRun run_under_strace(const std::vector<std::string>& strace_options, const std::vector<std::string>& port_options,
                           const std::string& marker) {
    const TempDir dir;
    const std::string trace = dir.file("trace");
    // LeakSanitizer traces the process itself, which strace already does.
    std::vector<std::string> strace{"env", "ASAN_OPTIONS=detect_leaks=0", "strace", "-o", trace};
    strace.insert(strace.end(), strace_options.begin(), strace_options.end());
    PortRunRequest traced;
    traced.port_options = port_options;
    traced.command = tool_command(strace);
    TracedRun result{run_on_port(traced), {}};
    EXPECT_TRUE(std::filesystem::exists(trace)) << "strace left no trace";
    result.lines = lines_with(slurp(trace), marker);
    return result;
}

TracedRun run_tracing_sleeps(const std::vector<std::string>& port_options) {
    // Not -f: the tool has no threads, and under an emulator the guest runs
    // in the emulator's first thread, whose host sleep carries the guest's
    // own time; the emulator's other threads keep their own sleeps.
    return run_under_strace({"-qq", "-e", "trace=/nanosleep"}, port_options, "nanosleep");
}

bool is_the_pause(const std::string& sleep_call) {
    return sleep_call.find("{tv_sec=0, tv_nsec=" + std::to_string(pause_ms * 1000000) + "}") != std::string::npos;
}

void expect_outcome(const PortRun& run, const std::string& line, int exit_status) {
    EXPECT_EQ(run.out, line);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exit_status, exit_status);
}

void expect_line_unchanged(const PortRun& run, const std::vector<std::string>& keys) {
    for (const std::string& key : keys) EXPECT_EQ(run["after." + key], run["before." + key]) << key << " changed";
}

std::string output_of(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");  // NOLINT(cert-env33-c): running a shell command is its job
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return text;
    }
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << command;
    return text;
}

void OnVirtualPort::SetUp() {
    if (const auto why = namespaces_unavailable()) {
        // Required when set to anything but nothing or 0.
        const char* required = std::getenv("RESET_ACM0_REQUIRE_NAMESPACES");
        if (required != nullptr && *required != '\0' && std::string(required) != "0") {
            FAIL() << *why << "(RESET_ACM0_REQUIRE_NAMESPACES=" << required << ", so this cannot be skipped)";
        }
        GTEST_SKIP() << *why;
    }
}
