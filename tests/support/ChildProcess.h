#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace testutil
{
// Runs `body` in a child process and gives its exit code, or -1 when it has not finished after `seconds` (it is
// then killed). The child may take only 512 MB more than it started with, so an unbounded read ends there.
inline int inChildProcess (double seconds, const std::function<int()>& body)
{
    const auto pid = fork();
    if (pid == 0)
    {
        long dataKb = 0;
        std::ifstream status ("/proc/self/status");
        for (std::string word; status >> word && dataKb == 0;)
            if (word == "VmData:")
                status >> dataKb;
        rlimit limit {};
        getrlimit (RLIMIT_DATA, &limit);
        limit.rlim_cur = std::min (limit.rlim_max, (rlim_t) dataKb * 1024 + ((rlim_t) 512 << 20));
        setrlimit (RLIMIT_DATA, &limit);
        int code = 100;
        try
        {
            code = body();
        }
        catch (...)
        {
            code = 101;
        }
        std::fflush (nullptr);
        _exit (code);
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double> (seconds);
    int status = 0;
    while (waitpid (pid, &status, WNOHANG) == 0)
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            kill (pid, SIGKILL);
            waitpid (pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }
    return WIFEXITED (status) ? WEXITSTATUS (status) : 128 + WTERMSIG (status);
}

// While it lives, a write that takes a file of this process past `bytes` fails with EFBIG (its signal is ignored
// from then on), as on a disk that fills part-way through a save.
struct FileSizeLimit
{
    explicit FileSizeLimit (rlim_t bytes)
    {
        signal (SIGXFSZ, SIG_IGN);
        getrlimit (RLIMIT_FSIZE, &old);
        const rlimit limit { std::min (bytes, old.rlim_max), old.rlim_max };
        setrlimit (RLIMIT_FSIZE, &limit);
    }

    ~FileSizeLimit() { lift(); }
    void lift() { setrlimit (RLIMIT_FSIZE, &old); }

    rlimit old {};
};
} // namespace testutil
