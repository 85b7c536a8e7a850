#include "model/UTILS.h"

#include <fcntl.h>
#include <omp.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace UTILS {

namespace {
bool gFatalThrows = false;
std::mutex gWarnMutex;
std::string& PendingWriteFailure() {
    static std::string line;
    return line;
}
} // namespace

void Stop(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        std::cout << line << std::endl;
        text += line;
        text += '\n';
    }
    std::cout.flush();
    if (gFatalThrows)
        throw FatalError(text);
    std::exit(1);
}

void SetFatalThrows(bool throws) {
    gFatalThrows = throws;
}

bool FatalThrows() {
    return gFatalThrows;
}

void WriteFailed(const std::string& file) {
    const int error = errno;
    const std::string line = "Could not write " + file + ": " +
                             (error != 0 ? std::strerror(error) : "write failed") + ".";
    if (omp_get_level() == 0)
        Stop({line, "Program stopped!"});
    std::lock_guard<std::mutex> lock(gWarnMutex);
    if (PendingWriteFailure().empty())
        PendingWriteFailure() = line;
}

void CheckWriteFailures() {
    std::string line;
    {
        std::lock_guard<std::mutex> lock(gWarnMutex);
        line.swap(PendingWriteFailure());
    }
    if (!line.empty())
        Stop({line, "Program stopped!"});
}

void CheckWritable(const std::vector<std::string>& files) {
    for (const std::string& file : files) {
        if (file.empty())
            continue;
        int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0)
                ::unlink(file.c_str());
        }
        if (fd < 0) {
            const int error = errno;
            Stop({"Cannot write the result file " + file + ": " + std::strerror(error) + ".",
                  "Program stopped!"});
        }
        ::close(fd);
    }
}

std::string DesignLimitProblem(unsigned long long ndvs, unsigned long long nobj,
                               unsigned long long nctr) {
    const unsigned long long numbers = ndvs + nobj + nctr;
    if (numbers <= kMaxDesignNumbers)
        return "";
    return "a design would hold NDVs " + std::to_string(ndvs) + " + NObj " + std::to_string(nobj) +
           " + NCtr " + std::to_string(nctr) + " = " + std::to_string(numbers) +
           " numbers, more than the limit of " + std::to_string(kMaxDesignNumbers);
}

std::string PopulationLimitProblem(const std::string& what, unsigned long long members,
                                   unsigned long long ndvs, unsigned long long nobj,
                                   unsigned long long nctr) {
    const std::string design = DesignLimitProblem(ndvs, nobj, nctr);
    if (!design.empty())
        return design;
    if (members > kMaxPopulationMembers)
        return what + " would hold " + std::to_string(members) +
               " designs, more than the limit of " + std::to_string(kMaxPopulationMembers);
    // Both factors are at most 10^6 here, so the product does not overflow.
    const unsigned long long numbers = members * (ndvs + nobj + nctr);
    if (numbers > kMaxPopulationNumbers)
        return what + " would hold " + std::to_string(members) + " designs of " +
               std::to_string(ndvs + nobj + nctr) + " numbers, " + std::to_string(numbers) +
               " in all, more than the limit of " + std::to_string(kMaxPopulationNumbers);
    return "";
}

unsigned StartableThreads(unsigned n) {
    // The calling thread is one of the team; the others are started and held
    // until all are running (or one could not be started), then released.
    if (n <= 1)
        return n;
    std::mutex mutex;
    std::condition_variable release;
    bool go = false;
    std::vector<std::thread> threads;
    unsigned started = 1;
    try {
        threads.reserve(n);
        for (; started < n; ++started)
            threads.emplace_back([&]() {
                std::unique_lock<std::mutex> lock(mutex);
                release.wait(lock, [&]() { return go; });
            });
    } catch (const std::system_error&) {
    } catch (const std::bad_alloc&) {
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        go = true;
    }
    release.notify_all();
    for (std::thread& thread : threads)
        thread.join();
    return started;
}

std::string UtcTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::ostream& out_seconds_in_hms(std::ostream& os, double x) {
    // A clock step backwards (or a NaN) must not turn into a huge unsigned value.
    if (!(x > 0.0))
        x = 0.0;
    if (x > 4294967295.0 * 60.0)
        x = 4294967295.0 * 60.0;
    const uint32_t m = static_cast<uint32_t>(x / 60.0);
    const uint32_t s = static_cast<uint32_t>(static_cast<int64_t>(x) % 60);
    os << m / 60 << " hours " << m % 60 << " minutes " << s << " seconds.";
    return os;
}

bool RestrictToBound(double& x, double lower, double upper) {
    if (x <= lower) {
        x = lower;
        return true;
    }
    if (x >= upper) {
        x = upper;
        return true;
    }
    return false;
}

std::vector<bool> RestrictToBound(std::vector<double>& x, const std::vector<double>& lower,
                                  const std::vector<double>& upper) {
    std::vector<bool> restricted(x.size(), false);
    for (size_t i = 0; i < x.size(); ++i)
        restricted[i] = RestrictToBound(x[i], lower[i], upper[i]);
    return restricted;
}

std::string ParseArgument(const std::string& arg, unsigned ndvs, unsigned nobj, unsigned nctr) {
    const std::pair<const char*, unsigned> table[] = {
        {"$(NDVS)", ndvs}, {"$(ndvs)", ndvs}, {"$(NOBJ)", nobj},
        {"$(nobj)", nobj}, {"$(NCTR)", nctr}, {"$(nctr)", nctr},
    };
    std::string result = arg;
    for (const auto& entry : table) {
        const std::string key = entry.first;
        const size_t pos = result.find(key);
        if (pos != std::string::npos)
            result.replace(pos, key.size(), std::to_string(entry.second));
    }
    return result;
}

} // namespace UTILS
