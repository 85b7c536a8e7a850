#include "model/INTU.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace INTU {

namespace {
std::atomic<int> gSignal{0};
// Both ends of a pipe: the handler writes one byte, waiting threads poll the
// read end. Written only by Install, before any handler can run.
int gPipe[2] = {-1, -1};

void Wake() {
    if (gPipe[1] >= 0) {
        const char byte = 1;
        // Nothing to do on failure: the pipe is non-blocking and one byte is
        // enough to keep the read end readable.
        ssize_t written = ::write(gPipe[1], &byte, 1);
        static_cast<void>(written);
    }
}

void Handler(int signal) {
    int expected = 0;
    if (!gSignal.compare_exchange_strong(expected, signal)) {
        // A second signal: the user wants out now. The evaluation database
        // stays consistent because every commit is atomic.
        ::_exit(128 + signal);
    }
    Wake();
}
} // namespace

void Install() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe(gPipe) == 0) {
            for (int fd : gPipe) {
                ::fcntl(fd, F_SETFD, FD_CLOEXEC);
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            }
        }
        struct sigaction action = {};
        action.sa_handler = Handler;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            ::sigaction(signal, &action, nullptr);
    });
}

bool Requested() {
    return gSignal.load() != 0;
}

int Signal() {
    return gSignal.load();
}

int WakeFd() {
    return gPipe[0];
}

void Request(int signal) {
    int expected = 0;
    if (gSignal.compare_exchange_strong(expected, signal))
        Wake();
}

void Reset() {
    gSignal.store(0);
    if (gPipe[0] >= 0) {
        char buffer[64];
        while (::read(gPipe[0], buffer, sizeof(buffer)) > 0) {
        }
    }
}

const char* SignalName(int signal) {
    switch (signal) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    default:
        break;
    }
    static thread_local char text[32];
    std::snprintf(text, sizeof(text), "signal %d", signal);
    return text;
}

} // namespace INTU
