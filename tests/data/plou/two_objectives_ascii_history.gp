#!/usr/bin/gnuplot
# gnuplot script
set terminal postscript eps enhanced color
set   autoscale                        # scale axes automatically   
unset log                              # remove any log-scaling     
unset label                            # remove any previous labels 
set   xtic      auto                   # set xtics automatically    
set   ytic      auto                   # set ytics automatically    
set   grid                             # set grid automatically     
set key top right
set   pointsize 1.3

set output 'QERN.eps'
#####################################################

#set logscale y
#set format y '10^{%L}'
#####################################################
set   title     'f_1 convergence'
set   xlabel    'Generation'
set   ylabel    'f_1'
plot 'convergence_gen.out' using 1:2 with lines notitle
#####################################################
set   title     'f_2 convergence'
set   xlabel    'Generation'
set   ylabel    'f_2'
plot 'convergence_gen.out' using 1:3 with lines notitle
#####################################################
set   title     'f_1 convergence'
set   xlabel    'Evaluation'
set   ylabel    'f_1'
plot 'convergence_eva.out' using 1:2 with lines notitle
#####################################################
set   title     'f_2 convergence'
set   xlabel    'Evaluation'
set   ylabel    'f_2'
plot 'convergence_eva.out' using 1:3 with lines notitle
#####################################################
set   title     'Hypervolume of the front so far'
set   xlabel    'Evaluation'
set   ylabel    'Hypervolume'
plot 'hypervolume_gen.out' using 2:3 with lines notitle
unset log                              # remove any log-scaling     
set format y '%h'

set offsets graph 0.05, 0.05, 0.05, 0.05

#####################################################
set   title     'Pareto Front'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot 'pareto_Last.front' using 1:2 with points pt 6 ps 1.0 lc rgb 'blue' notitle
#####################################################
stats 'pareto_History.front' nooutput
#####################################################
incr = (STATS_blocks > 5 ? (STATS_blocks/5) : 1)
set   title     'Pareto Front Evolution'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot for [IDX=0:STATS_blocks-1:incr] 'pareto_History.front' index IDX using 1:2 with linespoint pt 6 ps 1.0 title sprintf("%s gen %d",'\@',IDX) ,\
     for [IDX=STATS_blocks-1:STATS_blocks-1:1] 'pareto_History.front' index IDX using 1:2 with linespoint pt 6 ps 1.0 title 'Last'
#####################################################
set   title     'children'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot 'childs.out' using 1:2 with points pt 1 title 'children'
#####################################################
set   title     'parents and children'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot 'childs.out' using 1:2 with points pt 1 title 'children' ,\
     'parents.out' using 1:2 with points pt 2 title 'parents'
#####################################################
set   title     'Last children'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot 'last_child.out' using 1:2 with points      pt 1 ps 1.0 title 'last children'
#####################################################
set   title     'Initial buffer and first parents'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot 'initial_buffer.out' using 1:2 with points pt 1 title 'initial buffer' ,\
     'first_parents.out' using 1:2 with points pt 2 title 'first parents'

quit
