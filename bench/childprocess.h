#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <type_traits>

// Runs `body` in a child process and returns what it measured, so that each side of a benchmark
// has a process, and a memory peak, of its own. The result must be plain data.
template <typename Body> auto InChild(Body body) {
    using Result = decltype(body());
    static_assert(std::is_trivially_copyable_v<Result>);
    Result r{};
    int pipeFd[2];
    if (pipe(pipeFd) != 0)
        return r;
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFd[0]);
        const Result measured = body();
        (void)!write(pipeFd[1], &measured, sizeof measured);
        _exit(0);
    }
    close(pipeFd[1]);
    (void)!read(pipeFd[0], &r, sizeof r);
    close(pipeFd[0]);
    waitpid(pid, nullptr, 0);
    return r;
}
