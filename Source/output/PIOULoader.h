#ifndef VESK_OUTPUT_PIOULOADER_H
#define VESK_OUTPUT_PIOULOADER_H

#include <memory>
#include <string>

#include <nlohmann/json.hpp>

class OptimizationAlgorithm;

// The text of "input.jsn", its lines joined without their line breaks.
std::string load_json_file();
// A new LAMBDAMU from the "LAMBDAMU" member of the "OptimizationAlgorithm"
// object, or nullptr (with a message) when there is none.
std::unique_ptr<OptimizationAlgorithm> optimization_algorithm_factory(nlohmann::json& block);

#endif
