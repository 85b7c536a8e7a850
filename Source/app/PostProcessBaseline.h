#ifndef VESK_APP_POSTPROCESSBASELINE_H
#define VESK_APP_POSTPROCESSBASELINE_H

class POPULATION;
class WriteDataEA;

// Lists, in the non-dominated file, every member of the final front that
// dominates the baseline design read from the baseline file.
void post_process_baseline(const POPULATION& front, const WriteDataEA& out);

#endif
