// Analyser plug-in for the resume tests: shifted squares for any numbers of
// variables and objectives, obj[k] = sum over i of (dvs[i] - 0.5 k)^2, every
// constraint 1 (satisfied), and a call log. After each evaluation it appends
// one line to "calls.log" in the working folder: "n" and its number of
// constraints (which tells the players of a game apart), then the design's
// values as exact hexadecimal doubles. The line
// is written with one system call, so lines of concurrent evaluations never
// mix, and only once the values are computed, so an evaluation that a killed
// run never finished leaves no line.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "ADLL.h"

namespace {

class Logging : public ADLL {
public:
    Logging(unsigned ndvs_, unsigned nobj_, unsigned nctr_) : ADLL(ndvs_, nobj_, nctr_) {}

    void Init() override {}

    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>& ctr) override {
        for (size_t k = 0; k < obj.size(); ++k) {
            double sum = 0.0;
            for (double x : dvs) {
                const double d = x - 0.5 * static_cast<double>(k);
                sum += d * d;
            }
            obj[k] = sum;
        }
        for (double& c : ctr)
            c = 1.0;
        std::string line = "n" + std::to_string(ctr.size()) + " ";
        char text[64];
        for (double x : dvs) {
            std::snprintf(text, sizeof(text), "%a ", x);
            line += text;
        }
        line += "\n";
        const int fd = ::open("calls.log", O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ssize_t written = ::write(fd, line.data(), line.size());
            static_cast<void>(written);
            ::close(fd);
        }
    }

    ADLL* Copy() const override { return new Logging(ndvs, nobj, nctr); }
};

} // namespace

extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr) {
    return new Logging(static_cast<unsigned>(ndvs), static_cast<unsigned>(nobj),
                       static_cast<unsigned>(nctr));
}
