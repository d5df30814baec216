#pragma once

// Runs a program as a child process and measures it: its wall time, its processor time (user
// and system, of all its threads) and its peak memory (ru_maxrss from wait4), so that each
// command a benchmark times is measured on its own.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace bench {

inline double cpuSeconds(const struct rusage& usage)
{
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RunResult {
    double seconds = 0.0;
    double cpu = 0.0;
    long maxRssKb = 0;
    int status = -1; // the exit status; -1 when the child did not exit normally
    std::string output; // the child's standard output, when captured
};

// Runs program with args; its standard output is captured when capture is set and discarded
// otherwise, its standard error goes to ours when verbose.
inline RunResult runChild(const std::string& program, const std::vector<std::string>& args,
    bool capture = false, bool verbose = false)
{
    RunResult result;
    int pipeFds[2] = { -1, -1 };
    if (capture && pipe(pipeFds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int sink = open("/dev/null", O_WRONLY);
        if (capture) {
            dup2(pipeFds[1], STDOUT_FILENO);
            close(pipeFds[0]);
            close(pipeFds[1]);
        } else {
            dup2(sink, STDOUT_FILENO);
        }
        if (!verbose)
            dup2(sink, STDERR_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (capture) {
        close(pipeFds[1]);
        char buf[4096];
        ssize_t n;
        while ((n = read(pipeFds[0], buf, sizeof buf)) > 0)
            result.output.append(buf, static_cast<size_t>(n));
        close(pipeFds[0]);
    }
    int status = 0;
    struct rusage usage = {};
    wait4(pid, &status, 0, &usage);
    result.seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.maxRssKb = usage.ru_maxrss;
    result.cpu = cpuSeconds(usage);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

} // namespace bench
