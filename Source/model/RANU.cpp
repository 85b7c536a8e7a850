#include "model/RANU.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "model/RunJournal.h"

RANU::RANU(unsigned int /*seed*/)
    : u(), c(0.0), cd(7654321.0 / 16777216.0), cm(16777213.0 / 16777216.0), i97(97), j97(33),
      initialised(false) {}

void RANU::RandomInit(unsigned int seed) {
    std::cout << "seed = " << seed << std::endl;
    // The journal notes the seed actually used (the clock's, for 0 and 1), so
    // that a resumed run can seed this unit the same way again.
    const unsigned used = RunJournal::SeedFor(seed);
    std::srand(used);
    if (seed < 2)
        std::cout << "(unsigned int)time((time_t *)NULL) = " << used << std::endl;
    const double r1 = std::rand();
    const double r2 = std::rand();
    const int ij = static_cast<int>(r1 * 31329.0 / 2147483648.0);
    const int kl = static_cast<int>(r2 * 30082.0 / 2147483648.0);
    SeedFromPair(ij, kl);
    std::cout << "RANU::RandomUniform(void) = " << RandomUniform() << std::endl;
}

void RANU::SeedFromPair(int ij, int kl) {
    int i = ij / 177 + 2;
    int j = ij % 177 + 2;
    int k = kl / 169 + 1;
    int l = kl % 169;
    for (int n = 1; n <= 97; ++n) {
        double s = 0.0;
        double t = 0.5;
        for (int bit = 0; bit < 24; ++bit) {
            const int m = (((i * j) % 179) * k) % 179;
            i = j;
            j = k;
            k = m;
            l = (53 * l + 1) % 169;
            if ((l * m) % 64 >= 32)
                s += t;
            t *= 0.5;
        }
        u[n] = s;
    }
    c = 362436.0 / 16777216.0;
    cd = 7654321.0 / 16777216.0;
    cm = 16777213.0 / 16777216.0;
    i97 = 97;
    j97 = 33;
    initialised = true;
}

void RANU::InitialiseOnFirstDraw() {
    RandomInit(0);
    std::cout << "Warning initialization routine for RANU has not been called" << std::endl;
    std::cout << "Calling it now!" << std::endl;
}

int RANU::RndInt(int a, int b) {
    if (b <= a)
        return a;
    const double x = a + RandomUniform() * (static_cast<double>(b) - a);
    return static_cast<int>(x);
}

double RANU::Rnd(double a, double b) {
    if (!(a < b))
        return a;
    return std::min(a + RandomUniform() * (b - a), b);
}

double RANU::Rnd(double lower, double upper, double step) {
    const double top = upper + step;
    if (!(lower < top))
        return std::min(lower, upper);
    double x = lower + RandomUniform() * (top - lower);
    x = std::min(x, top);
    adequate_val_to_step(x, lower, upper, step);
    return x;
}

void RANU::adequate_val_to_step(double& x, double lower, double upper, double step) {
    // The grid points are formed by repeated addition, not as lower + k * step:
    // the two differ in the last bits, and the values on the grid must stay
    // those of earlier runs.
    if (step != 0.0) {
        const double end = upper + step;
        for (double g = lower; g < end; g += step) {
            if (x == g || x < g + step) {
                x = g;
                break;
            }
        }
    }
    if (x < lower)
        x = lower;
    else if (x > upper)
        x = upper;
}
