#include "output/WriteDataGrad.h"

WriteDataGrad::WriteDataGrad() : WriteDataGrad(WriteData()) {}

WriteDataGrad::WriteDataGrad(const WriteData& base)
    : WriteData(base), mGradSolFile("grad_sol.out") {}

void WriteDataGrad::SetPrefixIndexImpl(unsigned index) {
    Prefix(index, {&mGradSolFile});
}
