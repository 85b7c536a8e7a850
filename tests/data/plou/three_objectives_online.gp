#!/usr/bin/gnuplot
# gnuplot script
set terminal pdf enhanced color
set   autoscale                        # scale axes automatically   
unset log                              # remove any log-scaling     
unset label                            # remove any previous labels 
set   xtic      auto                   # set xtics automatically    
set   ytic      auto                   # set ytics automatically    
set   grid                             # set grid automatically     
set key top right
set   pointsize 1.3

set output '2QERN.pdf'
#####################################################

#set logscale y
#set format y '10^{%L}'
#####################################################
set   title     'f_1 convergence'
set   xlabel    'Generation'
set   ylabel    'f_1'
plot '2convergence_gen.out' using 1:2 with lines notitle
#####################################################
set   title     'f_2 convergence'
set   xlabel    'Generation'
set   ylabel    'f_2'
plot '2convergence_gen.out' using 1:3 with lines notitle
#####################################################
set   title     'f_3 convergence'
set   xlabel    'Generation'
set   ylabel    'f_3'
plot '2convergence_gen.out' using 1:4 with lines notitle
#####################################################
set   title     'f_1 convergence'
set   xlabel    'Evaluation'
set   ylabel    'f_1'
plot '2convergence_eva.out' using 1:2 with lines notitle
#####################################################
set   title     'f_2 convergence'
set   xlabel    'Evaluation'
set   ylabel    'f_2'
plot '2convergence_eva.out' using 1:3 with lines notitle
#####################################################
set   title     'f_3 convergence'
set   xlabel    'Evaluation'
set   ylabel    'f_3'
plot '2convergence_eva.out' using 1:4 with lines notitle
#####################################################
set   title     'Hypervolume of the front so far'
set   xlabel    'Evaluation'
set   ylabel    'Hypervolume'
plot '2hypervolume_gen.out' using 2:3 with lines notitle
unset log                              # remove any log-scaling     
set format y '%h'

set offsets graph 0.05, 0.05, 0.05, 0.05

#####################################################
set   title     'Pareto Front'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot '2pareto_Last.front' using 1:2 with points pt 6 ps 1.0 lc rgb 'blue' notitle
#####################################################
set   title     'Last children'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot '2last_child.out' using 1:2 with points      pt 1 ps 1.0 title 'last children'
#####################################################
set   title     'Initial buffer and first parents'
set   xlabel    'f_1'
set   ylabel    'f_2'
plot '2initial_buffer.out' using 1:2 with points pt 1 title 'initial buffer' ,\
     '2first_parents.out' using 1:2 with points pt 2 title 'first parents'
#####################################################
set   title     'Pareto Front'
set   xlabel    'f_1'
set   ylabel    'f_3'
plot '2pareto_Last.front' using 1:3 with points pt 6 ps 1.0 lc rgb 'blue' notitle
#####################################################
set   title     'Last children'
set   xlabel    'f_1'
set   ylabel    'f_3'
plot '2last_child.out' using 1:3 with points      pt 1 ps 1.0 title 'last children'
#####################################################
set   title     'Initial buffer and first parents'
set   xlabel    'f_1'
set   ylabel    'f_3'
plot '2initial_buffer.out' using 1:3 with points pt 1 title 'initial buffer' ,\
     '2first_parents.out' using 1:3 with points pt 2 title 'first parents'
#####################################################
set   title     'Pareto Front'
set   xlabel    'f_2'
set   ylabel    'f_3'
plot '2pareto_Last.front' using 2:3 with points pt 6 ps 1.0 lc rgb 'blue' notitle
#####################################################
set   title     'Last children'
set   xlabel    'f_2'
set   ylabel    'f_3'
plot '2last_child.out' using 2:3 with points      pt 1 ps 1.0 title 'last children'
#####################################################
set   title     'Initial buffer and first parents'
set   xlabel    'f_2'
set   ylabel    'f_3'
plot '2initial_buffer.out' using 2:3 with points pt 1 title 'initial buffer' ,\
     '2first_parents.out' using 2:3 with points pt 2 title 'first parents'

quit
