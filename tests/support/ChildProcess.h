#pragma once

// Runs a piece of a test in a child process, where a hang, an abort or an allocation without
// end can happen without taking the test program with it.
#include <QByteArray>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <functional>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define LUMATRIM_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LUMATRIM_UNDER_ASAN 1
#endif
#endif

struct ChildOutcome {
    bool exited = false;  // ended by _exit or exit
    int exitCode = -1;
    int signal = 0;       // the signal that ended it: SIGALRM when it ran out of time
    QByteArray output;    // what it wrote to standard output and standard error

    bool timedOut() const { return signal == SIGALRM; }
    std::string describe() const
    {
        if (timedOut())
            return "the child ran out of time (a hang)";
        if (!exited)
            return "the child died of signal " + std::to_string(signal) + ": " + output.toStdString();
        return "exit " + std::to_string(exitCode) + ": " + output.toStdString();
    }
};

// Whether the address space of a child can be capped: AddressSanitizer reserves terabytes of
// it for its own bookkeeping.
constexpr bool canCapAddressSpace()
{
#ifdef LUMATRIM_UNDER_ASAN
    return false;
#else
    return true;
#endif
}

// Runs body in a child process whose standard output and error come back as output, that is
// ended by SIGALRM after seconds (a limit for hangs, far above what the work takes), and whose
// address space is capped at addressSpaceBytes unless that is 0 or the build runs under
// AddressSanitizer. The child ends with body's return value as its exit status; body may also
// replace the process (exec).
inline ChildOutcome runInChild(const std::function<int()>& body, unsigned seconds, rlim_t addressSpaceBytes = 0)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        dup2(pipeEnds[1], STDOUT_FILENO);
        dup2(pipeEnds[1], STDERR_FILENO);
        close(pipeEnds[1]);
        if (addressSpaceBytes != 0 && canCapAddressSpace()) {
            const rlimit cap{addressSpaceBytes, addressSpaceBytes};
            setrlimit(RLIMIT_AS, &cap);
        }
        std::signal(SIGALRM, SIG_DFL);
        alarm(seconds);
        int status = 99;
        try {
            status = body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "exception: %s\n", e.what());
        }
        std::fflush(nullptr);
        _exit(status);
    }
    close(pipeEnds[1]);
    ChildOutcome outcome;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) != 0) {
        if (n > 0)
            outcome.output.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exited = WIFEXITED(status);
    outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -1;
    outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return outcome;
}
