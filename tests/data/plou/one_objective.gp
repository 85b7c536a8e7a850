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
set   title     'f_1 convergence'
set   xlabel    'Evaluation'
set   ylabel    'f_1'
plot 'convergence_eva.out' using 1:2 with lines notitle
#####################################################
set   title     'Hypervolume of the front so far'
set   xlabel    'Evaluation'
set   ylabel    'Hypervolume'
plot 'hypervolume_gen.out' using 2:3 with lines notitle
unset log                              # remove any log-scaling     
set format y '%h'

set offsets graph 0.05, 0.05, 0.05, 0.05


quit
