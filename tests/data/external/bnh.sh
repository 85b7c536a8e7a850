#!/bin/sh
# Binh and Korn's problem (BNH) as an external command: reads the design from
# Eval.DVs and writes its two objectives to Eval.individual and its two
# constraints (zero or more when satisfied) to Eval.constraint.
exec awk '{
    x1 = $1; x2 = $2
    f1 = 4 * x1 * x1 + 4 * x2 * x2
    f2 = (x1 - 5) ^ 2 + (x2 - 5) ^ 2
    g1 = 1 - ((x1 - 5) ^ 2 + x2 * x2) / 25
    g2 = ((x1 - 8) ^ 2 + (x2 + 3) ^ 2) / 7.7 - 1
    printf "%.17g %.17g\n", f1, f2 > "Eval.individual"
    printf "%.17g %.17g\n", g1, g2 > "Eval.constraint"
}' Eval.DVs
