#ifndef VESK_TESTS_SCRIPTEDPLAYER_H
#define VESK_TESTS_SCRIPTEDPLAYER_H

// Helpers for the game tests: a player whose moves are scripted, a stopping
// rule that counts its checks, and the text of a game block.

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "games/GameAlgorithm.h"
#include "optim/OptimizationAlgorithm.h"
#include "optim/TerminationCriteria.h"
#include "output/WriteData.h"
#include "output/WriteDataEA.h"
#include "support/TestSupport.h"

namespace testsupport {

inline std::string ShiftedSquarePlugin() {
    return PluginsDir() + "/vesk_test_shifted_square.so";
}

// One migration as the receiver saw it.
struct Received {
    std::vector<double> dvs;
    std::vector<unsigned> ids;
};

// A player with one child. Initialize and every Generate evaluate it (through
// the real local evaluation unit and the shifted-square test plug-in), the
// child moving by 0.25 in its first variable per turn; everything the game
// does to the player is written to a shared log.
class ScriptedPlayer : public OptimizationAlgorithm {
public:
    ScriptedPlayer(const std::string& name, unsigned ndvs, unsigned nobj,
                   std::vector<std::string>* log)
        : OptimizationAlgorithm(Keep(std::istringstream(Block(ndvs, nobj)))), mName(name),
          mLog(log) {
        mChilds.InitPop(name + "->childs", static_cast<int>(ndvs), static_cast<int>(nobj), 0, 1,
                        true);
        mChilds.SetBestfitsPtrToInds(&bestfits);
        WriteData data;
        data.SetReportIter(0);
        data.SetRunPlots(false);
        ScriptedPlayer::SetWriteData(data);
    }

    void Initialize() override {
        Log("init");
        Compute();
    }
    void Generate() override {
        Log("turn");
        mChilds[0].SetDv(0, mChilds[0].GetDvs(0) + 0.25);
    }
    void PostProcessInds() override { Log("post"); }
    void PostProcessOpt() override { Log("opt"); }
    void SetWriteData(WriteData data) override {
        mData = WriteDataEA(data);
        SetWriteDataPtr(&mData);
    }
    void Inmigrate(const INDIVIDUAL& immigrant, const std::vector<unsigned>& ids) override {
        received.push_back({immigrant.GetDvs(), ids});
    }
    void PrintReportIter() override { Log("report"); }

    // Replaces this player's best individual for its objective j.
    void SetBest(unsigned j, const std::vector<double>& obj, const std::vector<double>& dvs) {
        bestfits[j].SetDvs(dvs);
        bestfits[j].SetObj(obj);
    }
    WriteDataEA& Data() { return mData; }

    std::vector<Received> received;

private:
    static std::istream& Keep(std::istringstream&& in) { return in; }
    static std::string Block(unsigned ndvs, unsigned nobj) {
        return std::to_string(ndvs) + "\n" + std::to_string(nobj) + "\n0\n1\n0\n" +
               ShiftedSquarePlugin() + "\n0\n0\n";
    }
    void Log(const std::string& what) {
        if (mLog != nullptr)
            mLog->push_back(mName + " " + what);
    }

    std::string mName;
    std::vector<std::string>* mLog;
    WriteDataEA mData;
};

// Met at its limit-th check; records the evaluation count of every check.
class CountingRule : public TerminationCriteria {
public:
    CountingRule(unsigned limit, std::vector<unsigned>* seen) : mLimit(limit), mSeen(seen) {}
    std::unique_ptr<TerminationCriteria> clone() const override {
        return std::make_unique<CountingRule>(*this);
    }
    bool CheckTerminationCriteria(unsigned evaluations,
                                  const std::vector<INDIVIDUAL>& bestfits) override {
        static_cast<void>(bestfits);
        if (mSeen != nullptr)
            mSeen->push_back(evaluations);
        return ++mChecks >= mLimit;
    }

private:
    unsigned mLimit;
    std::vector<unsigned>* mSeen;
    unsigned mChecks = 0;
};

// The players as a game takes them: the game owns them from then on, while
// the test goes on looking at them through its plain pointers.
inline std::vector<std::unique_ptr<OptimizationAlgorithm>>
GamePlayers(const std::vector<OptimizationAlgorithm*>& players) {
    std::vector<std::unique_ptr<OptimizationAlgorithm>> owned;
    for (OptimizationAlgorithm* player : players)
        owned.emplace_back(player);
    return owned;
}

// "n i1 ... in" for a player owning the listed 1-based global items of n.
inline std::string MapLine(unsigned n, const std::vector<unsigned>& owned) {
    std::string line = std::to_string(n);
    for (unsigned k = 1; k <= n; ++k) {
        bool own = false;
        for (unsigned o : owned)
            own = own || o == k;
        line += " " + std::to_string(own ? k : 0);
    }
    return line + "\n";
}

} // namespace testsupport

#endif
