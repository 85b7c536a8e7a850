#ifndef VESK_PLUGINS_MATHCASES_H
#define VESK_PLUGINS_MATHCASES_H

// The test-problem analyser: a catalogue of analytic benchmark problems,
// single- and multi-objective, with and without constraints, chosen by the
// name written in "prob.dat" in the working directory.
//
// Built as a plug-in that shares only the analyser interface with its host.
// The interface header is included by a path relative to this file so that
// the plug-in (compiled with the interface folder on its include path) and
// hosts compiled from the source root both find it.

#include <string>
#include <vector>

#include "../../eval/ADLL.h"

class MyADLL : public ADLL {
public:
    MyADLL(unsigned ndvs_, unsigned nobj_, unsigned nctr_);
    ~MyADLL() override;

    // Reads the problem name from "prob.dat" and validates the configured sizes.
    void Init() override;
    // As Init(), with the problem name given instead of read. Virtual, like
    // SetProblem, so that hosts loading the plug-in at run time can reach it.
    virtual void Init(const std::string& name);
    // Stores the name, validates the sizes and prints them.
    virtual void SetProblem(std::string name);

    // Reads the first word of "prob.dat" as the problem name.
    void Read_prob();
    // The sizes the current problem requires (reads "prob.dat" first when no
    // name is known); an unknown name stops the process.
    void CaseInfo(int& ndvs_, int& nobj_, int& nctr_);
    // Stops the process when the configured sizes differ from the required ones.
    void check_params(unsigned ndvs_, unsigned nobj_, unsigned nctr_);

    void EvalIndividual(const std::vector<double>& dvs, std::vector<double>& obj,
                        std::vector<double>& ctr) override;
    ADLL* Copy() const override;

private:
    // One row of the problem catalogue: the names that choose the problem, the
    // sizes it requires and its formula.
    struct Problem;

    // The catalogue row of a name; null for a name the catalogue lacks.
    static const Problem* FindProblem(const std::string& name);
    // Keeps the name and the problem it selects together.
    void StoreName(const std::string& name);

    std::string mProblem;
    const Problem* mRow;
};

// Factory looked up by the host after loading the plug-in.
extern "C" ADLL* CreateADLL(int ndvs, int nobj, int nctr);

#endif
