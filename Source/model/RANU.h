#ifndef VESK_MODEL_RANU_H
#define VESK_MODEL_RANU_H

// Random-number unit: the Marsaglia-Zaman universal generator (RANMAR form),
// seeded through the C library's srand/rand. Every value is a multiple of
// 2^-24 in [0, 1).
class RANU {
public:
    explicit RANU(unsigned int seed = 0);
    virtual ~RANU() = default;

    // Seeds the generator (0 and 1 seed from the clock) and prints the seeding
    // report; the first draw is consumed by the report.
    void RandomInit(unsigned int seed);
    // The core seeding step from the two RANMAR seeds (ij in 0..31328,
    // kl in 0..30081); prints nothing and consumes nothing.
    void SeedFromPair(int ij, int kl);

    // Inline: the optimisers draw millions of numbers per run, and the call
    // cost as much as the draw itself.
    double RandomUniform() {
        if (!initialised)
            InitialiseOnFirstDraw();
        // The corrections are written as additions of 0 or 1 (rather than as
        // branches) because their conditions are as good as random, so a
        // branch would be mispredicted half of the time. Adding 0.0 changes no
        // value here: none of the sums can be -0.0.
        double uni = u[i97] - u[j97];
        uni += uni <= 0.0 ? 1.0 : 0.0;
        u[i97] = uni;
        i97 = i97 == 1 ? 97 : i97 - 1;
        j97 = j97 == 1 ? 97 : j97 - 1;
        c -= cd;
        c += c < 0.0 ? cm : 0.0;
        uni -= c;
        uni += uni < 0.0 ? 1.0 : 0.0;
        return uni;
    }
    double RandomNum() { return RandomUniform(); }
    // Uniform over a..b-1 for b > a (the upper bound is exclusive); a otherwise.
    int RndInt(int a, int b);
    double Rnd(double a, double b);
    // A value on the grid lower + k*step, clipped to [lower, upper].
    double Rnd(double lower, double upper, double step);
    // Moves x down onto the step grid and into [lower, upper]; draws nothing.
    static void adequate_val_to_step(double& x, double lower, double upper, double step);

    bool IsInitialised() const { return initialised; }

private:
    // Seeds from the clock, with the warning, when a number is drawn first.
    void InitialiseOnFirstDraw();

    double u[98];
    double c;
    double cd;
    double cm;
    int i97;
    int j97;
    bool initialised;
};

#endif
