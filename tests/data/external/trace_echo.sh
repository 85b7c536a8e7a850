#!/bin/sh
# Answers each design with itself (objectives and constraints are the design
# variables, copied as text) after a random pause of a few milliseconds, and
# records in ../trace.log when it started and ended and in which folder, so a
# test can see evaluations overlap and check that none lands on another design.
folder=$(basename "$(pwd)")
start=$(date +%s%N)
sleep "0.0$(od -An -N1 -tu1 /dev/urandom | awk '{ printf "%02d", $1 % 30 + 5 }')"
awk '{ print $1, $2 > "Eval.individual"; print $1, $2 > "Eval.constraint" }' Eval.DVs
echo "$folder $start $(date +%s%N)" >> ../trace.log
