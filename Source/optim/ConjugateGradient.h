#ifndef VESK_OPTIM_CONJUGATEGRADIENT_H
#define VESK_OPTIM_CONJUGATEGRADIENT_H

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "model/INDIVIDUAL.h"
#include "optim/OptimizationAlgorithm.h"
#include "output/WriteDataGrad.h"

// Single-objective conjugate-gradient method over box-bounded variables. Each
// iteration estimates the gradient of objective 0 by central differences (the
// current point and two perturbed points per variable, evaluated together as
// the children), builds a Polak-Ribiere or Fletcher-Reeves direction with a
// restart to steepest descent every n iterations, searches a step along it
// (golden section or a parabolic Brent-type search) and moves.
class ConjugateGradient : public OptimizationAlgorithm {
public:
    enum SearchDirectionMethod { PolakRibiere = 0, FletcherReeves = 1 };
    enum OptimalStepSizeMethod { GoldenSection = 0, BrentMethod = 1 };

    explicit ConjugateGradient(std::istream& in);
    ~ConjugateGradient() override;

    void Initialize() override;
    void Generate() override;
    void PostProcessInds() override;
    void PostProcessOpt() override;
    void SetWriteData(WriteData data) override;
    // Stores the immigrant's variables as elite values and moves the own
    // variables among them (current point and starting design) to its values.
    void Inmigrate(const INDIVIDUAL& immigrant,
                   const std::vector<unsigned int>& globalDvsIds) override;
    void PrintReportIter() override;

    void SetInitialIndividual(const INDIVIDUAL& ind);
    void SetSearchDirectionMethod(int method);
    void SetSearchDirectionMethod(SearchDirectionMethod method) { mSearchDirectionMethod = method; }
    void SetOptimalStepSizeMethod(int method);
    void SetOptimalStepSizeMethod(OptimalStepSizeMethod method) { mOptimalStepSizeMethod = method; }
    void SetEpsilon(double epsilon);
    void SetFirstStepSize(double step);
    void SetOptimalStepSizeTolerance(double tolerance);
    void SetWarningStepSize(double step);
    void SetMinDvs(const std::vector<double>& lower);
    void SetMaxDvs(const std::vector<double>& upper);

    // beta * previousDirection - gradient with the Polak-Ribiere (resp.
    // Fletcher-Reeves) beta.
    std::vector<double> GetPolakRibiereSearchDirection(std::vector<double> previousGradient,
                                                       std::vector<double> gradient,
                                                       std::vector<double> previousDirection);
    std::vector<double> getFletcherReevesSearchDirection(std::vector<double> previousGradient,
                                                         std::vector<double> gradient,
                                                         std::vector<double> previousDirection);
    // beta in [0, 1]: 0 when the denominator is 0, the quotient negative or
    // not a number; capped at 1.
    double GetPolakRibiereParameter(const std::vector<double>& previousGradient,
                                    const std::vector<double>& gradient) const;
    double GetFletcherReevesParameter(const std::vector<double>& previousGradient,
                                      const std::vector<double>& gradient) const;
    double GetGradientNorm(const std::vector<double>& gradient) const;

    // Line searches along direction from point, whose value is currentValue.
    // Both bracket the minimum by doubling the trial step, then narrow the
    // bracket to tolerance; they return the step found, or 0 when no trial
    // point was better than currentValue.
    double GetGoldenSectionOptimalStepSize(double initialStep, double currentValue,
                                           std::vector<double> point, std::vector<double> direction,
                                           double warningStep, double tolerance,
                                           std::vector<INDIVIDUAL>& bestfits);
    double GetBrentMethodOptimalStepSize(double initialStep, double currentValue,
                                         std::vector<double> point, std::vector<double> direction,
                                         double warningStep, double tolerance,
                                         std::vector<INDIVIDUAL>& bestfits);

    const INDIVIDUAL& GetInitialArgument() const { return *mInitialArgument; }
    const std::vector<double>& GetArgument() const { return mArgument; }
    const std::vector<double>& GetGradient() const { return mGradient; }
    const std::vector<double>& GetPreviousGradient() const { return mPreviousGradient; }
    const std::vector<double>& GetSearchDirection() const { return mSearchDirection; }
    const std::vector<double>& GetPreviousSearchDirection() const {
        return mPreviousSearchDirection;
    }
    const std::vector<double>& GetMinDvs() const { return mMinDvs; }
    const std::vector<double>& GetMaxDvs() const { return mMaxDvs; }
    double GetCurrentValue() const { return mCurrentValue; }
    double GetGradientNorm() const { return mGradientNorm; }
    double GetSlope() const { return mSlope; }
    double GetInitialStepSize() const { return mInitialStepSize; }
    double GetOptimalStepSize() const { return mOptimalStepSize; }
    double GetPreviousOptimalStepSize() const { return mPreviousOptimalStepSize; }
    double GetWarningStepSize() const { return mWarningStepSize; }
    double GetEpsilon() const { return mEpsilon; }
    double GetFirstStepSize() const { return mFirstStepSize; }
    double GetOptimalStepSizeTolerance() const { return mOptimalStepSizeTolerance; }
    SearchDirectionMethod GetSearchDirectionMethod() const { return mSearchDirectionMethod; }
    OptimalStepSizeMethod GetOptimalStepSizeMethod() const { return mOptimalStepSizeMethod; }
    const WriteDataGrad& GetWriteDataGrad() const { return mWriteDataGrad; }

private:
    // Child 0 takes x, children 2i+1 and 2i+2 take x with epsilon added to
    // (subtracted from) variable i.
    void SetChildren(std::vector<double> x);
    // The design read from the input block: given values, a file of values, or
    // a file holding a whole evaluated individual.
    // Where the values of the starting design were read, to name them when
    // one lies outside the bounds read later.
    struct StartPlaces {
        unsigned mode = 0;
        std::string file;               // modes 1 and 2
        std::string text;               // mode 1: the file's text
        std::vector<std::streampos> at; // modes 0 and 1: where each value starts
    };
    INDIVIDUAL ReadInitialArgument(std::istream& in, StartPlaces& start);
    // Stops the run when a value of the starting design lies outside its
    // bounds, naming the file, the line and the variable.
    void CheckStartInBounds(std::istream& in, const StartPlaces& start) const;
    // The method and step settings and the bounds that follow the starting
    // design in the input block.
    void ReadSettings(std::istream& in);
    // Value of objective 0 at point + step * direction clipped to the bounds;
    // every call is one evaluation, which may update the record and sets stop
    // when it met the stopping rule.
    double EvaluateTrial(double step, const std::vector<double>& point,
                         const std::vector<double>& direction, std::vector<INDIVIDUAL>& record,
                         bool& stop);
    // The line search of the given method along direction from point, every
    // trial evaluated by EvaluateTrial.
    double SearchLine(OptimalStepSizeMethod method, double initialStep, double currentValue,
                      const std::vector<double>& point, const std::vector<double>& direction,
                      double warningStep, double tolerance, std::vector<INDIVIDUAL>& record);
    void PrintLastState(const char* warning) const;

    WriteDataGrad mWriteDataGrad;
    std::vector<double> mMinDvs;
    std::vector<double> mMaxDvs;
    double mCurrentValue;
    std::unique_ptr<INDIVIDUAL> mInitialArgument;
    std::vector<double> mArgument;
    std::vector<double> mGradient;
    std::vector<double> mPreviousGradient;
    double mGradientNorm;
    std::vector<double> mSearchDirection;
    std::vector<double> mPreviousSearchDirection;
    double mSlope;
    double mInitialStepSize;
    double mOptimalStepSize;
    double mPreviousOptimalStepSize;
    double mWarningStepSize;
    double mEpsilon;
    SearchDirectionMethod mSearchDirectionMethod;
    OptimalStepSizeMethod mOptimalStepSizeMethod;
    double mFirstStepSize;
    double mOptimalStepSizeTolerance;
    // Where the bounds were read, for the message about a starting value
    // outside them.
    std::string mStartBoundsPlace;
};

#endif
