#!/bin/sh
# BNH, except that the simulation "crashes" (is killed by a signal before it
# writes anything) for designs whose first variable is above 2.5.
if awk '{ exit !($1 > 2.5) }' Eval.DVs; then
    kill -SEGV $$
fi
exec ./bnh.sh
