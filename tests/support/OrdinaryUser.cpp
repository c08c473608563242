#include "support/OrdinaryUser.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#endif

namespace veltrane::test {

#ifdef _WIN32

OrdinaryUserRun RunAsOrdinaryUser(const std::function<std::string()>&) {
    return {false, {}, "no user switch on Windows"};
}

#else

namespace {

constexpr int kCannotDrop = 77;

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            return;
        }
        done += static_cast<size_t>(n);
    }
}

}  // namespace

OrdinaryUserRun RunAsOrdinaryUser(const std::function<std::string()>& body) {
    int fds[2];
    if (::pipe(fds) != 0) {
        return {false, {}, "no pipe for the child"};
    }
    std::fflush(nullptr);  // nothing buffered is written twice
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return {false, {}, "cannot fork a child"};
    }
    if (pid == 0) {
        ::close(fds[0]);
        if (::geteuid() == 0) {
            const gid_t group = 65534;
            if (::setgroups(1, &group) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0 ||
                ::setuid(0) == 0) {
                WriteAll(fds[1], "cannot drop root's rights to user nobody");
                ::_exit(kCannotDrop);
            }
        }
        WriteAll(fds[1], body());
        ::_exit(0);
    }
    ::close(fds[1]);
    std::string output;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) {
        output.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        // A child that could not drop its rights says so; one that failed otherwise fails the test.
        return {false, {}, WIFEXITED(status) && WEXITSTATUS(status) == kCannotDrop ? output : ""};
    }
    return {true, output, {}};
}

#endif

}  // namespace veltrane::test
