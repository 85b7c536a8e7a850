#ifndef VESK_OUTPUT_WRITEDATAGRAD_H
#define VESK_OUTPUT_WRITEDATAGRAD_H

#include "output/WriteData.h"

// Output configuration of the gradient optimiser.
class WriteDataGrad : public WriteData {
public:
    WriteDataGrad();
    explicit WriteDataGrad(const WriteData& base);
    void SetPrefixIndexImpl(unsigned index) override;

    std::string GetGradSolFilename() const { return mGradSolFile; }

private:
    std::string mGradSolFile;
};

#endif
