#include "optim/PopulationOptimizer.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/PostProcessBaseline.h"
#include "model/HYVU.h"
#include "model/NDSU.h"
#include "model/RunJournal.h"
#include "model/RunOptions.h"
#include "model/UTILS.h"
#include "optim/TerminationCriteriaFactory.h"
#include "output/PIOU.h"
#include "output/PIOUConfig.h"
#include "output/PIOURecords.h"
#include "output/PLOU.h"

namespace {
void PrintVector(const std::vector<double>& v) {
    std::cout << std::endl;
    for (double x : v)
        std::cout << std::left << std::setw(15) << x;
    std::cout << std::endl;
}

// A hypervolume as the result files write reals; formatted apart so that the
// console keeps its own number format.
std::string Scientific(double x) {
    std::ostringstream os;
    os << std::scientific << std::setprecision(10) << x;
    return os.str();
}

// A value as messages show it: as many digits as it needs, up to 15.
std::string Number(double x) {
    std::ostringstream os;
    os << std::setprecision(15) << x;
    return os.str();
}

// The message lines, then "<place>: <detail>" when the place is known, then
// "Program stopped!".
[[noreturn]] void StopWithPlace(const std::string& message, const std::string& place,
                                const std::string& detail) {
    std::vector<std::string> lines{message};
    if (!place.empty())
        lines.push_back(place + ": " + detail);
    lines.push_back("Program stopped!");
    UTILS::Stop(lines);
}

} // namespace

PopulationOptimizer::PopulationOptimizer(std::istream& in, unsigned seed, const Wording& wording)
    : OptimizationAlgorithm(in), mWording(wording), mBufsize(0), mPc(0.0), mPm(0.0), mRanu(seed),
      mImmigrantPending(false), mHypervolume(0.0) {
    std::cout << wording.created << std::endl;
    if (seed != 0)
        mRanu.RandomInit(seed);
    SetWriteDataPtr(&mWriteDataEA);
}

PopulationOptimizer::PopulationOptimizer(const nlohmann::json& block)
    : OptimizationAlgorithm(block), mWording{"LAMBDAMU created.", "> Starting LAMBDAMU",
                                             "LAMBDAMU::PostProcessOpt():"},
      mBufsize(0), mPc(0.0), mPm(0.0), mRanu(0), mImmigrantPending(false), mHypervolume(0.0) {
    const std::string where = "OptimizationAlgorithm/LAMBDAMU";
    std::cout << mWording.created << std::endl;
    std::cout << "LAMBDAMU: " << block.dump(4) << std::endl;
    const unsigned seed = PIOU::json_get<unsigned>(block, "seed", 0u, where);
    if (seed != 0)
        mRanu.RandomInit(seed);
    const int popsize = PIOU::json_get<int>(block, "popsize", 20, where);
    const int popinit = PIOU::json_get<int>(block, "popinit", 0, where);
    const auto key = [&](const char* name) {
        return "input.jsn: key \"" + where + "/" + name + "\"";
    };
    mPlaces = {key("popsize"), key("popinit"),  key("bufize"),  key("pc"),
               key("pm"),      key("dvs_step"), key("min_dvs"), key("max_dvs")};
    if (!KnownBufferMode(popinit))
        PIOU::json_error(where + "/popinit", BufferModeProblem(popinit));
    const double pc = PIOU::json_get<double>(block, "pc", 0.9, where);
    const double pm = PIOU::json_get<double>(block, "pm", 0.1, where);
    const auto step = PIOU::json_get<std::vector<double>>(block, "dvs_step", where);
    const auto lower = PIOU::json_get<std::vector<double>>(block, "min_dvs", where);
    const auto upper = PIOU::json_get<std::vector<double>>(block, "max_dvs", where);
    PrintVector(step);
    PrintVector(lower);
    PrintVector(upper);
    if (step.size() != ndvs || lower.size() != ndvs || upper.size() != ndvs)
        UTILS::Stop({"Design variables bounds or step size do not match number od dvs",
                     "input.jsn: keys \"" + where +
                         "/dvs_step\", \"min_dvs\" and \"max_dvs\" hold " +
                         std::to_string(step.size()) + ", " + std::to_string(lower.size()) +
                         " and " + std::to_string(upper.size()) +
                         " values where NDVs = " + std::to_string(ndvs) + ".",
                     "Program stopped!"});
    unsigned bufsize = 0;
    std::string file;
    if (popinit == 0) {
        const int size = PIOU::json_get<int>(block, "bufize", popsize, where);
        if (size < 0)
            PIOU::json_error(where + "/bufize", "expected a buffer size of at least \"popsize\"");
        bufsize = static_cast<unsigned>(size);
        CheckBufferSize(popsize, bufsize);
    } else {
        file = PIOU::json_get<std::string>(block, "initial_buffer_filename", where);
    }
    if (block.contains("hv_ref")) {
        mHvRefConfig = PIOU::json_get<std::vector<double>>(block, "hv_ref", where);
        if (mHvRefConfig.size() != nobj)
            PIOU::json_error(where + "/hv_ref", "expected " + std::to_string(nobj) +
                                                    " numbers, one per objective, found " +
                                                    block.at("hv_ref").dump());
    }
    if (block.contains("TerminationCriteria"))
        CheckJsonStoppingRule(block.at("TerminationCriteria"), "TerminationCriteria");
    InternalInit("LambdaMu", popsize, lower, upper, step, pc, pm);
    FillBuffer(popinit, bufsize, file);
    mWriteDataEA.LoadConfigFile();
    std::cout << "SetWriteDataPtr setted" << std::endl;
    SetWriteDataPtr(&mWriteDataEA);
    if (block.contains("TerminationCriteria")) {
        std::cout << "Termination criteria found" << std::endl;
        std::cout << block.at("TerminationCriteria").dump(4) << std::endl;
        const std::unique_ptr<TerminationCriteria> rule =
            TerminationCriteriaFactory::CreateTerminationCriteria(block.at("TerminationCriteria"));
        SetTerminationCriteria(*rule);
    } else {
        std::cout << "Termination criteria not found" << std::endl;
    }
    std::cout << "LAMBDAMU creation finished." << std::endl;
}

void PopulationOptimizer::ReadLegacyBlock(std::istream& in, const std::string& name) {
    int popsize = 0, popinit = 0;
    unsigned bufsize = 0;
    double pc = 0.0, pm = 0.0;
    std::string file;
    // Where each item starts, for messages that name its line.
    std::streampos at[8];
    at[0] = PIOU::read_setting(in, popsize, "the population size (an even integer greater than 0)");
    at[1] = PIOU::read_placed(
        in, popinit, "the buffer initialisation (0 random, 1 design file, 2 population file)");
    if (!KnownBufferMode(popinit))
        PIOU::config_stop(in, at[1], BufferModeProblem(popinit) + ".");
    if (popinit == 0)
        at[2] = PIOU::read_setting(in, bufsize,
                                   "the buffer size after popinit 0 (an unsigned integer)");
    else
        at[2] = PIOU::read_setting(in, file,
                                   "the buffer file name after popinit " + std::to_string(popinit));
    at[3] = PIOU::read_setting(in, pc, "the crossover probability (a number in [0, 1])");
    at[4] = PIOU::read_setting(in, pm, "the mutation probability (a number in [0, 1])");
    std::vector<double> step(ndvs), lower(ndvs), upper(ndvs);
    at[5] = PIOU::read_setting(in, step, "a design-variable step (0 for a continuous variable)");
    at[6] = PIOU::read_setting(in, lower, "a design-variable lower bound");
    at[7] = PIOU::read_setting(in, upper, "a design-variable upper bound");
    std::string places[8];
    for (int k = 0; k < 8; ++k)
        places[k] = PIOU::config_place(in, at[k]);
    mPlaces = {places[0], places[1], places[2], places[3],
               places[4], places[5], places[6], places[7]};
    if (popinit == 0)
        CheckBufferSize(popsize, bufsize);
    InternalInit(name, popsize, lower, upper, step, pc, pm);
    FillBuffer(popinit, bufsize, file);
}

bool PopulationOptimizer::KnownBufferMode(int popinit) {
    return popinit == 0 || popinit == 1 || popinit == 2;
}

std::string PopulationOptimizer::BufferModeProblem(int popinit) {
    return "buffer initialisation " + std::to_string(popinit) +
           " not recognized: expected 0 (random designs, then the buffer size), 1 (a design "
           "file) or 2 (a population file with results)";
}

std::string PopulationOptimizer::Place(const std::string& place, const std::string& problem) {
    return place.empty() ? problem : place + ": " + problem;
}

void PopulationOptimizer::CheckPopulationSize(int popsize) const {
    // Crossover works on pairs, so an odd population would leave a child
    // without a partner.
    if (popsize <= 0 || popsize % 2 != 0)
        StopWithPlace("Population size must be an even number greater than 0: popsize = " +
                          std::to_string(popsize),
                      mPlaces.popsize, "popsize " + std::to_string(popsize));
    const std::string problem = UTILS::PopulationLimitProblem(
        "the population", static_cast<unsigned>(popsize), ndvs, nobj, nctr);
    if (!problem.empty())
        UTILS::Stop({Place(mPlaces.popsize, problem + "."), "Program stopped!"});
}

void PopulationOptimizer::CheckBufferSize(int popsize, unsigned bufsize) const {
    CheckPopulationSize(popsize);
    const std::string problem =
        UTILS::PopulationLimitProblem("the buffer", bufsize, ndvs, nobj, nctr);
    if (!problem.empty())
        UTILS::Stop({Place(mPlaces.bufsize, problem + "."), "Program stopped!"});
    // The best popsize of the buffer become the first parents.
    if (popsize > 0 && bufsize < static_cast<unsigned>(popsize))
        UTILS::Stop({Place(mPlaces.bufsize, "the buffer size " + std::to_string(bufsize) +
                                                " is smaller than the population size " +
                                                std::to_string(popsize) + "."),
                     "Program stopped!"});
}

void PopulationOptimizer::CheckJsonStoppingRule(const nlohmann::json& rule,
                                                const std::string& where) const {
    // The factory's own messages name neither the key nor the value.
    const unsigned code = PIOU::json_get<unsigned>(rule, "criteria", where);
    if (code > 3)
        PIOU::json_error(where + "/criteria",
                         std::to_string(code) +
                             " not recognized: expected 0 (\"max_obj_evals\"), 1 (\"max_time\"), "
                             "2 (\"min_fi\") or 3 (\"conv_evals\")");
    // One target or count per objective: a shorter or longer list could
    // never be met, and the run would not end.
    const char* key = code == 2 ? "min_fi" : (code == 3 ? "conv_evals" : nullptr);
    if (key != nullptr && rule.is_object() && rule.contains(key) && rule.at(key).is_array() &&
        rule.at(key).size() != nobj)
        PIOU::json_error(where + "/" + key, "expected " + std::to_string(nobj) +
                                                " values, one per objective, found " +
                                                rule.at(key).dump());
    if (code == 1 && rule.is_object() && rule.contains("max_time") &&
        rule.at("max_time").is_number() && !(rule.at("max_time").get<double>() >= 0.0))
        PIOU::json_error(where + "/max_time",
                         "expected a time limit in seconds, 0 or more, found " +
                             rule.at("max_time").dump());
}

void PopulationOptimizer::InternalInit(const std::string& name, int popsize,
                                       const std::vector<double>& lower,
                                       const std::vector<double>& upper,
                                       const std::vector<double>& step, double pc, double pm) {
    CheckPopulationSize(popsize);
    for (unsigned j = 0; j < ndvs; ++j) {
        const std::string var = "dvs[" + std::to_string(j) + "]";
        if (!std::isfinite(lower[j]) || !std::isfinite(upper[j]))
            StopWithPlace("Design variable " + std::to_string(j) + " needs finite bounds: min = " +
                              std::to_string(lower[j]) + ", max = " + std::to_string(upper[j]),
                          !std::isfinite(lower[j]) ? mPlaces.lower : mPlaces.upper, var);
        // A negative or non-finite step would make the grid walk never end.
        if (!(step[j] >= 0.0) || !std::isfinite(step[j]))
            StopWithPlace(
                "Design variable " + std::to_string(j) +
                    " needs a step of 0 (continuous) or more: step = " + std::to_string(step[j]),
                mPlaces.step, var);
        if (lower[j] > upper[j]) {
            std::cout << std::endl;
            UTILS::Stop(
                {"Wrong limits entered for the min and max bounds of variable, hence exiting",
                 Place(mPlaces.lower, "design variable " + var + " has the lower bound " +
                                          Number(lower[j]) + " above its upper bound " +
                                          Number(upper[j]) +
                                          (mPlaces.upper.empty() || mPlaces.upper == mPlaces.lower
                                               ? ""
                                               : " (" + mPlaces.upper + ")") +
                                          "."),
                 "Program stopped!"});
        }
        // A step wider than the range leaves the lower bound as the only
        // value on the grid: the variable could never move.
        if (step[j] > 0.0 && lower[j] < upper[j] && step[j] > upper[j] - lower[j])
            UTILS::Stop(
                {Place(mPlaces.step, "the step " + Number(step[j]) + " of design variable " + var +
                                         " is larger than its range [" + Number(lower[j]) + ", " +
                                         Number(upper[j]) + "]."),
                 "Program stopped!"});
        // The grid is walked by repeated addition from the lower bound: a
        // step too fine for the range, or below the rounding of the bounds,
        // would make every variation of the variable take forever.
        if (step[j] > 0.0 && lower[j] < upper[j]) {
            const double far = std::max(std::fabs(lower[j]), std::fabs(upper[j]) + step[j]);
            std::string problem;
            if ((upper[j] - lower[j]) / step[j] > UTILS::kMaxGridPoints)
                problem = " leaves more than " +
                          std::to_string(static_cast<long long>(UTILS::kMaxGridPoints)) +
                          " grid points in its range [";
            else if (!(far + step[j] > far))
                problem = " is below the precision of its bounds [";
            if (!problem.empty())
                UTILS::Stop({Place(mPlaces.step,
                                   "the step " + Number(step[j]) + " of design variable " + var +
                                       problem + Number(lower[j]) + ", " + Number(upper[j]) + "]."),
                             "Program stopped!"});
        }
    }
    mParents.InitPop(name + "->parents", static_cast<int>(ndvs), static_cast<int>(nobj),
                     static_cast<int>(nctr), popsize, true);
    mChilds.InitPop(name + "->childs", static_cast<int>(ndvs), static_cast<int>(nobj),
                    static_cast<int>(nctr), popsize, true);
    mLower.assign(lower.begin(), lower.begin() + ndvs);
    mUpper.assign(upper.begin(), upper.begin() + ndvs);
    mSteps.assign(step.begin(), step.begin() + ndvs);
    if (!(pc >= 0.0 && pc <= 1.0))
        StopWithPlace("Crossover probability must be between [0,1] range", mPlaces.pc,
                      "pc " + Number(pc));
    if (!(pm >= 0.0 && pm <= 1.0))
        StopWithPlace("Mutation probability must be between [0,1] range", mPlaces.pm,
                      "pm " + Number(pm));
    mPc = pc;
    mPm = pm;
    InternalInitHook(popsize);
}

void PopulationOptimizer::FillBuffer(int popinit, unsigned bufsize, const std::string& file) {
    if (popinit == 0)
        InitBufferRand(bufsize);
    else if (popinit == 1)
        DvsBufferFile(file);
    else if (popinit == 2)
        FittedBufferFile(file);
    else
        return;
    // The best popsize of the buffer become the first parents and the buffer is
    // then cut to popsize children: a smaller buffer would leave empty slots.
    if (mChilds.GetPopsize() < mParents.GetPopsize())
        UTILS::Stop({"The initial buffer holds " + std::to_string(mChilds.GetPopsize()) +
                         " designs but at least popsize = " +
                         std::to_string(mParents.GetPopsize()) + " are needed.",
                     "Program stopped!"});
}

void PopulationOptimizer::InitBufferRand(unsigned int bufsize) {
    mBufsize = bufsize;
    std::cout << "Buffer random initialization" << std::endl;
    mChilds.Resize(bufsize, true);
    mChilds.RandomInit(mLower, mUpper, mSteps, mRanu);
}

unsigned PopulationOptimizer::DvsBufferFile(const std::string& file) {
    std::cout << "Buffer DVS initialization" << std::endl;
    RunJournal::NoteInputFile(file);
    POPULATION read = PIOU::read_population_dvs(file, ndvs, nobj, nctr);
    CheckBufferBounds(read, file, false);
    const std::string name = mChilds.GetName();
    mChilds = read;
    mChilds.SetName(name);
    mChilds.SetBestfitsPtr(nullptr);
    mBufsize = mChilds.GetPopsize();
    return mBufsize;
}

unsigned PopulationOptimizer::FittedBufferFile(const std::string& file) {
    std::cout << "Buffer fitted data initialization" << std::endl;
    RunJournal::NoteInputFile(file);
    POPULATION read = PIOU::read_population_a(file);
    if (read.GetNdvs() != ndvs || read.GetNobj() != nobj || read.GetNctr() != nctr)
        UTILS::Stop({"File " + file + " holds designs with nobj " + std::to_string(read.GetNobj()) +
                         " ndvs " + std::to_string(read.GetNdvs()) + " nctr " +
                         std::to_string(read.GetNctr()) + " where the optimiser has nobj " +
                         std::to_string(nobj) + " ndvs " + std::to_string(ndvs) + " nctr " +
                         std::to_string(nctr) + ".",
                     "Program stopped!"});
    CheckBufferBounds(read, file, true);
    const std::string name = mChilds.GetName();
    mChilds = read;
    mChilds.SetName(name);
    mBufsize = mChilds.GetPopsize();
    mChilds.SetBestfitsPtrToInds(&bestfits);
    mChilds.UpdateBestfitsValue();
    return mBufsize;
}

void PopulationOptimizer::CheckBufferBounds(const POPULATION& read, const std::string& file,
                                            bool population_file) const {
    // The bounds are known once InternalInit has run.
    if (mLower.size() != ndvs || mUpper.size() != ndvs || read.GetNdvs() != ndvs)
        return;
    for (unsigned k = 0; k < read.GetPopsize(); ++k) {
        for (unsigned j = 0; j < ndvs; ++j) {
            const double x = read[k].GetDvs(j);
            if (x >= mLower[j] && x <= mUpper[j])
                continue;
            // The line is looked up only now: the readers keep no line numbers.
            const unsigned line = population_file ? PIOU::population_record_line(file, k)
                                                  : PIOU::design_record_line(file, k);
            const std::string where =
                "File " + file + (line > 0 ? ", line " + std::to_string(line) : "") +
                ": design variable dvs[" + std::to_string(j) + "] = " + Number(x) +
                " is outside its bounds [" + Number(mLower[j]) + ", " + Number(mUpper[j]) + "]";
            const std::string bounds =
                mPlaces.lower.empty()
                    ? ""
                    : " (lower bounds: " + mPlaces.lower + "; upper bounds: " + mPlaces.upper + ")";
            UTILS::Stop({where + bounds + ".", "Program stopped!"});
        }
    }
}

void PopulationOptimizer::Initialize() {
    mImmigrantPending = false;
    mLamu.SetBestfitsPtrToInds(&bestfits);
    mParents.SetBestfitsPtrToInds(&bestfits);
    mChilds.SetBestfitsPtrToInds(&bestfits);
    mParetoHistory.SetName(mWriteDataEA.GetParetoPopName());
    // A wrong reference point must stop the run before the first evaluation.
    std::string origin;
    GivenHypervolumeReference(origin);

    std::cout << std::endl << "> Computing buffer" << std::endl;
    Compute();
    std::cout << "< Done." << std::endl;
    StartHypervolume();

    mChilds.WriteComputedFileAscii(mWriteDataEA.GetInitialBufferFilename(), false);
    if (mWriteDataEA.GetWriteChilds())
        mParents.WriteComputedFile(mWriteDataEA.GetParentsFilename(),
                                   mWriteDataEA.GetWriteASCIIFormat(), false);
    if (mWriteDataEA.GetWriteOnlineHistoryPareto()) {
        mParetoHistory = mChilds.DeepCopy();
        ReduceParetoHistory(mParetoHistory);
        mParetoHistory.WriteComputedFileAscii(mWriteDataEA.GetParetoHistFilename(), true);
    }
    PLOU::create_file_gp(mChilds, mWriteDataEA);
    SelectParentsFromBuffer();
    mParents.WriteComputedFileAscii(mWriteDataEA.GetFirstParentsFilename(), false);
}

void PopulationOptimizer::ReduceParetoHistory(POPULATION& history) {
    const std::string name = mWriteDataEA.GetParetoPopName();
    history.ExtractRepeated();
    history = history.ParetoPop(true);
    history.Sort(0);
    history.SetName(name);
}

void PopulationOptimizer::SelectParentsFromBuffer() {
    std::cout << "> Selecting parents from buffer" << std::endl;
    std::cout << "   Assigning rank and crowding distance" << std::endl;
    NDSU::assign_rank_crowd_distance(mChilds);
    std::cout << "   Non-dominated sorting of " << mChilds.GetName() << std::endl;
    mChilds.SortByRankCrowdDistance();
    std::cout << "   Assigning values from childs to parents" << std::endl;
    const unsigned popsize = mParents.GetPopsize();
    const unsigned bufsize = mChilds.GetPopsize();
    for (unsigned i = 0, j = 0; i < popsize; ++i) {
        mParents[i] = mChilds[j];
        if (++j >= bufsize)
            j = 0;
    }
    std::cout << "< Done." << std::endl;
    std::cout << mWording.starting << std::endl;
    mChilds.Resize(popsize, false);
    std::cout << "   resized" << std::endl;
    mLamu = mParents;
    std::cout << "   mLamu = mParents" << std::endl;
    mLamu.SetName("lamu");
    std::cout << "   NameSeted" << std::endl;
    for (unsigned k = 0; k < mChilds.GetPopsize(); ++k)
        mLamu.PushBackIndSPtr(mChilds.GetIndsPtrs(k));
    std::cout << "   mLamu += mChilds;" << std::endl;
    std::cout << "< Done." << std::endl;
}

void PopulationOptimizer::AssignAndSortByRankAndCrowdDistance() {
    NDSU::assign_rank_crowd_distance(mLamu);
    mLamu.SortByRankCrowdDistance();
}

std::vector<double> PopulationOptimizer::GivenHypervolumeReference(std::string& origin) const {
    const std::vector<double>& option = GetRunOptions().hv_ref;
    const std::vector<double>& given = option.empty() ? mHvRefConfig : option;
    origin = option.empty() ? "\"hv_ref\" in input.jsn" : "--hv-ref";
    if (given.empty())
        return given;
    const std::string text = "The hypervolume reference point (" + origin + " " +
                             HYVU::reference_text(given) + ") has " + std::to_string(given.size()) +
                             " values but ";
    if (!IsActiveGame()) {
        if (given.size() != nobj)
            UTILS::Stop({text + "the run has " + std::to_string(nobj) + " objectives.",
                         "Program stopped!"});
        return given;
    }
    // A game's players own subsets of the game's objectives: the point names
    // them all, and each player keeps the values of its own.
    if (given.size() != mOBjIds.size())
        UTILS::Stop({text + "the game has " + std::to_string(mOBjIds.size()) + " objectives.",
                     "Program stopped!"});
    std::vector<double> own(nobj);
    for (unsigned i = 0; i < nobj; ++i)
        own[i] = given[static_cast<unsigned>(GetGlobalOBjIds(i))];
    return own;
}

std::vector<std::vector<double>> PopulationOptimizer::OfferToFront(const POPULATION& pop) {
    std::vector<std::vector<double>> usable;
    for (unsigned k = 0; k < pop.GetPopsize(); ++k) {
        const INDIVIDUAL& ind = pop[k];
        if (!ind.IsComputed() || ind.GetCtrViolation() < 0.0 ||
            HYVU::failed_objectives(ind.GetObj()))
            continue;
        usable.push_back(ind.GetObj());
        mFront.Insert(ind.GetObj());
    }
    return usable;
}

std::string PopulationOptimizer::FixHypervolumeReference(const std::vector<double>& ref,
                                                         const std::string& origin) {
    mFront.SetReference(ref);
    mHypervolume = mFront.Hypervolume();
    const std::string text =
        "Hypervolume reference point: " + HYVU::reference_text(ref) + " (" + origin + ")";
    std::cout << text << std::endl;
    return text;
}

void PopulationOptimizer::StartHypervolume() {
    mFront = ParetoArchive(nobj);
    mHypervolume = 0.0;
    const std::vector<std::vector<double>> buffer = OfferToFront(mChilds);
    std::string origin;
    std::vector<double> ref = GivenHypervolumeReference(origin);
    origin = "given with " + origin;
    if (ref.empty()) {
        ref = HYVU::derive_reference(buffer);
        origin = "derived from the initial buffer: worst value plus a tenth of the range";
    }
    const std::string file = mWriteDataEA.GetHypervolumeGenFilename();
    if (ref.empty()) {
        // Without a feasible design the front is empty and its hypervolume 0
        // against any point, so the point can wait for the first feasible one.
        const std::string text = "Hypervolume reference point: not known yet (no feasible design "
                                 "in the initial buffer); derived from the first generation that "
                                 "has one";
        std::cout << text << std::endl;
        mHypervolumeFile.Init(file, text);
    } else {
        mHypervolumeFile.Init(file, FixHypervolumeReference(ref, origin));
    }
    mHypervolumeFile.Write(iter, GetObjEvals(), mHypervolume);
}

void PopulationOptimizer::UpdateHypervolume() {
    const std::vector<std::vector<double>> offered = OfferToFront(mChilds);
    if (!mFront.HasReference()) {
        const std::vector<double> ref = HYVU::derive_reference(offered);
        if (!ref.empty()) {
            const std::string origin = "derived from generation " + std::to_string(iter) +
                                       ": worst value plus a tenth of the range";
            mHypervolumeFile.Comment(FixHypervolumeReference(ref, origin));
        }
    }
    mHypervolume = mFront.Hypervolume();
    mHypervolumeFile.Write(iter, GetObjEvals(), mHypervolume);
}

bool PopulationOptimizer::FrontProgress(unsigned& front_size, double& hypervolume) const {
    front_size = mFront.Size();
    hypervolume = mHypervolume;
    return true;
}

void PopulationOptimizer::PostProcessInds() {
    UpdateHypervolume();
    if (mWriteDataEA.GetWriteOnlineHistoryPareto()) {
        for (unsigned k = 0; k < mChilds.GetPopsize(); ++k)
            mParetoHistory.PushBackNewInd(mChilds[k]);
        if (IsDone())
            mParetoHistory.ExtractNonComputed();
        ReduceParetoHistory(mParetoHistory);
        mParetoHistory.AppendComputedFileAscii(mWriteDataEA.GetParetoHistFilename(), true, true,
                                               true);
        // The script plotted at every report also reads the current front and
        // children; without them each report's gnuplot run fails.
        mParetoHistory.WriteComputedFileAscii(mWriteDataEA.GetParetoLastFilename(), true);
        mChilds.WriteComputedFileAscii(mWriteDataEA.GetLastChildFilename(), false);
    }
    AssignAndSortByRankAndCrowdDistance();
    if (mWriteDataEA.GetWriteChilds())
        mParents.AppendComputedFile(mWriteDataEA.GetParentsFilename(),
                                    mWriteDataEA.GetWriteASCIIFormat(), false, true, false);
    if (!IsDone())
        FillParentsAndChilds();
}

void PopulationOptimizer::FillParentsAndChilds() {
    const unsigned popsize = mParents.GetPopsize();
    for (unsigned i = 0; i < popsize; ++i)
        mParents.GetIndsPtrs(i) = mLamu.GetIndsPtrs(i);
    for (unsigned k = 0; k < mChilds.GetPopsize(); ++k)
        mChilds.GetIndsPtrs(k) = mLamu.GetIndsPtrs(popsize + k);
}

void PopulationOptimizer::PostProcessOpt() {
    mChilds.WriteComputedFileAscii(mWriteDataEA.GetLastChildFilename(), false);
    std::cout << mWording.post_opt << std::endl;
    std::cout << "Iterations: " << iter << std::endl;
    std::cout << "Objective evaluations: " << GetObjEvals() << std::endl;
    std::cout << "Iterations*popsize + bufsize = "
              << static_cast<unsigned long long>(iter) * mParents.GetPopsize() + mBufsize
              << std::endl;
    if (mFront.HasReference())
        std::cout << "Hypervolume: " << Scientific(mHypervolume) << " (reference point "
                  << HYVU::reference_text(mFront.GetReference()) << ", " << mFront.Size()
                  << " designs in the front)" << std::endl;
    else
        std::cout << "Hypervolume: " << Scientific(0.0)
                  << " (no reference point: no feasible design was evaluated)" << std::endl;
    if (!mWriteDataEA.GetWriteOnlineHistoryPareto() && mWriteDataEA.GetWriteChilds() && nobj > 1) {
        POPULATION all = PIOU::read_population(mWriteDataEA.GetChildsFilename(),
                                               mWriteDataEA.GetWriteASCIIFormat());
        post_process_c_pop(all, mChilds.GetPopsize(), mBufsize);
    }
    if (mWriteDataEA.GetWriteOnlineHistoryPareto()) {
        mParetoHistory.WriteComputedFileAscii(mWriteDataEA.GetParetoLastFilename(), true);
        // The history kept during the run is the final front here.
        if (mWriteDataEA.GetBaseline())
            post_process_baseline(mParetoHistory);
    } else if (mWriteDataEA.GetBaseline() && !(mWriteDataEA.GetWriteChilds() && nobj > 1)) {
        std::cout << "Warning: no baseline comparison: the final Pareto front is built from the "
                     "children file (write.QERN line 1) of a run with two objectives or more, or "
                     "kept during the run (Pareto history 2 on line 2); "
                  << mWriteDataEA.GetNonDominatedFilename() << " is not written." << std::endl;
    }
    POPULATION post("Post pop", static_cast<int>(ndvs), static_cast<int>(nobj),
                    static_cast<int>(nctr), 0, false);
    for (const INDIVIDUAL& best : bestfits)
        post.PushBackNewInd(best);
    post.WriteFileAscii(mWriteDataEA.GetBestfitsFilename(), true);
    if (mWriteDataEA.GetRunPlots())
        PLOU::run_gnuplot(mWriteDataEA.GetGPFilenameWOExt());
}

POPULATION PopulationOptimizer::post_process_c_pop(POPULATION& all, unsigned int popsize,
                                                   unsigned int bufsize) {
    std::cout << "> Post-processing optimization..." << std::endl;
    POPULATION result;
    const std::string history_file = mWriteDataEA.GetParetoHistFilename();
    if (mWriteDataEA.GetWriteParetoHistory()) {
        result = all.SubPop(0, bufsize);
        ReduceParetoHistory(result);
        result.WriteFileAscii(history_file, true);
        // popsize 0 would never advance; one block then holds the rest.
        const unsigned block = popsize > 0 ? popsize : all.GetPopsize();
        for (unsigned start = bufsize; start < all.GetPopsize(); start += block) {
            POPULATION generation = all.SubPop(start, block);
            for (unsigned k = 0; k < generation.GetPopsize(); ++k)
                result.PushBackIndSPtr(generation.GetIndsPtrs(k));
            ReduceParetoHistory(result);
            result.AppendComputedFileAscii(history_file, true, true, true);
        }
    } else {
        result = all;
        ReduceParetoHistory(result);
    }
    result.WriteFileAscii(mWriteDataEA.GetParetoLastFilename(), true);
    if (mWriteDataEA.GetBaseline())
        post_process_baseline(result);
    std::cout << "   Elements in the pareto: " << result.GetPopsize() << std::endl;
    std::cout << "< Done." << std::endl;
    return result;
}

void PopulationOptimizer::post_process_baseline(const POPULATION& front) {
    ::post_process_baseline(front, mWriteDataEA);
}

void PopulationOptimizer::SetWriteData(WriteData data) {
    mWriteDataEA = WriteDataEA(data);
    std::cout << "SetWriteDataPtr setted" << std::endl;
    SetWriteDataPtr(&mWriteDataEA);
}
