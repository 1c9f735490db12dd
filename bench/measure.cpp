// bench-measure: runs each contender in turn, RUNS times, and prints one
// tab-separated line per run: contender, run, wall time (us), CPU time
// (user + system, us), peak resident memory (KiB), exit status. The
// contenders' own output goes to /dev/null.
//
// usage: bench-measure RUNS CONTENDERS_FILE
// Each line of CONTENDERS_FILE is a name and the command's argv, separated
// by tabs. The order rotates from run to run, so that no contender always
// follows the same one.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Contender {
    std::string name;
    std::vector<std::string> argv;
};

std::vector<Contender> read_contenders(const char* path) {
    std::vector<Contender> contenders;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) continue;
        std::istringstream fields(line);
        Contender c;
        std::getline(fields, c.name, '\t');
        for (std::string arg; std::getline(fields, arg, '\t');) c.argv.push_back(arg);
        if (!c.argv.empty()) contenders.push_back(c);
    }
    return contenders;
}

long long now_us() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_nsec / 1000;
}

long long us(const timeval& t) { return static_cast<long long>(t.tv_sec) * 1000000 + t.tv_usec; }

void run_once(const Contender& c, int run) {
    std::vector<char*> argv;
    for (const std::string& arg : c.argv) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const long long start = now_us();
    const pid_t child = fork();
    if (child < 0) std::exit(1);
    if (child == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const long long wall = now_us() - start;
    std::printf("%s\t%d\t%lld\t%lld\t%ld\t%d\n", c.name.c_str(), run, wall, us(usage.ru_utime) + us(usage.ru_stime),
                usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        (void)std::fputs("usage: bench-measure RUNS CONTENDERS_FILE\n", stderr);
        return 2;
    }
    const long runs = std::strtol(argv[1], nullptr, 10);
    const std::vector<Contender> contenders = read_contenders(argv[2]);
    if (runs <= 0 || contenders.empty()) return 2;
    for (int run = 0; run < runs; ++run) {
        for (size_t k = 0; k < contenders.size(); ++k) {
            run_once(contenders[(k + static_cast<size_t>(run)) % contenders.size()], run);
        }
    }
    return 0;
}
