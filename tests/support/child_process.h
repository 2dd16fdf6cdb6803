#pragma once
// Runs part of a test in a forked child, for what must not touch the test process: giving up
// root, lowering its limits, or being stopped part-way.

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

// body() runs in the child; what it returns comes back as the reply, and the child then
// exits 0 (body may _exit itself with another code). `status` receives the child's exit code,
// or 128 + the signal that ended it.
inline std::string RunInChild(const std::function<std::string()>& body, int& status) {
    int fds[2];
    if (pipe(fds) != 0) {
        status = -1;
        return {};
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string reply = body();
        if (write(fds[1], reply.data(), reply.size()) < 0) _exit(125);
        _exit(0);
    }
    close(fds[1]);
    std::string reply;
    char buffer[512];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        reply.append(buffer, std::size_t(n));
    close(fds[0]);
    int raw = 0;
    waitpid(pid, &raw, 0);
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return reply;
}
