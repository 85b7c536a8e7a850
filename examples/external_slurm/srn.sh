#!/bin/sh
# Srinivas and Deb's constrained problem (SRN) as an external simulation.
#
# veskv2 runs this command once per design, inside a working folder of its
# own, after writing the design variables to Eval.DVs. The command answers
# with the objectives (both minimised) in Eval.individual and the constraints
# (zero or more when satisfied) in Eval.constraint. A real simulation would
# read its input deck here, run, and post-process its output the same way.
exec awk '{
    x1 = $1; x2 = $2
    f1 = (x1 - 2) ^ 2 + (x2 - 1) ^ 2 + 2
    f2 = 9 * x1 - (x2 - 1) ^ 2
    g1 = 1 - (x1 * x1 + x2 * x2) / 225
    g2 = (3 * x2 - x1) / 10 - 1
    printf "%.17g %.17g\n", f1, f2 > "Eval.individual"
    printf "%.17g %.17g\n", g1, g2 > "Eval.constraint"
}' Eval.DVs
