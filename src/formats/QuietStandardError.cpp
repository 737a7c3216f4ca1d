#include "QuietStandardError.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <mutex>

namespace {

// Under AddressSanitizer standard error carries its reports, which must never be lost.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kKeepStandardError = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kKeepStandardError = true;
#else
constexpr bool kKeepStandardError = false;
#endif
#else
constexpr bool kKeepStandardError = false;
#endif

std::mutex silenceLock;
int silencers = 0;
int savedStandardError = -1;

} // namespace

QuietStandardError::QuietStandardError()
{
    const std::lock_guard lock(silenceLock);
    if (kKeepStandardError || silencers++ > 0)
        return;
    std::fflush(stderr);
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nowhere < 0)
        return;
    savedStandardError = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (savedStandardError >= 0)
        ::dup2(nowhere, STDERR_FILENO);
    ::close(nowhere);
}

QuietStandardError::~QuietStandardError()
{
    const std::lock_guard lock(silenceLock);
    if (kKeepStandardError || --silencers > 0 || savedStandardError < 0)
        return;
    std::fflush(stderr);
    ::dup2(savedStandardError, STDERR_FILENO);
    ::close(savedStandardError);
    savedStandardError = -1;
}
