#include "model/RunOptions.h"

RunOptions& GetRunOptions() {
    static RunOptions options;
    return options;
}
