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

ctrv(ctr) = (ctr<0? ctr : 0)
ctrvn(ctrcol,nctr) = (sum [ctr=ctrcol:nctr+ctrcol] ctrv(column(ctr)))

#####################################################
#set logscale y
#set format y '10^{%L}'
#####################################################
set   title     'weight convergence'
set   xlabel    'Generation'
set   ylabel    'weight'
plot 'convergence_gen.out' using 1:2 with lines notitle
#####################################################
set   title     'cost convergence'
set   xlabel    'Generation'
set   ylabel    'cost'
plot 'convergence_gen.out' using 1:3 with lines notitle
#####################################################
set   title     'weight convergence'
set   xlabel    'Evaluation'
set   ylabel    'weight'
plot 'convergence_eva.out' using 1:2 with lines notitle
#####################################################
set   title     'cost convergence'
set   xlabel    'Evaluation'
set   ylabel    'cost'
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
set   xlabel    'weight'
set   ylabel    'cost'
plot 'pareto_Last.front' using 1:2 with points pt 6 ps 1.0 lc rgb 'blue' notitle
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
plot 'childs.out' using 1:2 with points pt 1 title 'children'
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
plot 'childs.out' using (ctrvn(5,2) <0? $1: 1/0 ):(ctrvn(5,2) <0? $2: 1/0 ) with points pt 1 lc rgb 'red' title 'non-feasible' ,\
     'childs.out' using (ctrvn(5,2) >=0? $1: 1/0 ):(ctrvn(5,2) >=0? $2: 1/0 ) with points pt 2 lc rgb 'green' title 'feasible'
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
plot 'childs.out' using (ctrvn(5,2) >=0? $1: 1/0 ):(ctrvn(5,2) >=0? $2: 1/0 ) with points pt 1 lc rgb 'green' title 'feasible'
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
plot 'childs.out' using (ctrvn(5,2) <0? $1: 1/0 ):(ctrvn(5,2) <0? $2: 1/0 ) with points pt 1 lc rgb 'red' title 'non-feasible'
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
set   cblabel    'ctr violation'
plot 'childs.out' using 1:2:(ctrvn(5,2)) with points pt 1 palette notitle
#####################################################
set   title     'feasible children according to ctr_1'
set   xlabel    'weight'
set   ylabel    'cost'
plot 'childs.out' using (ctrv($5) >=0? $1: 1/0 ):(ctrv($5) >=0? $2: 1/0 ) with points pt 1 lc rgb 'green' title 'ctr_1 feasible' ,\
     'childs.out' using (ctrv($5) <0? $1: 1/0 ):(ctrv($5) <0? $2: 1/0 ) with points pt 2 lc rgb 'red' title 'ctr_1 non-feasible'
#####################################################
set   title     'feasible children according to ctr_2'
set   xlabel    'weight'
set   ylabel    'cost'
plot 'childs.out' using (ctrv($6) >=0? $1: 1/0 ):(ctrv($6) >=0? $2: 1/0 ) with points pt 1 lc rgb 'green' title 'ctr_2 feasible' ,\
     'childs.out' using (ctrv($6) <0? $1: 1/0 ):(ctrv($6) <0? $2: 1/0 ) with points pt 2 lc rgb 'red' title 'ctr_2 non-feasible'
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
set   cblabel    'ctr_1'
plot 'childs.out' using 1:2:5 with points pt 1 palette notitle
#####################################################
set   title     'children'
set   xlabel    'weight'
set   ylabel    'cost'
set   cblabel    'ctr_2'
plot 'childs.out' using 1:2:6 with points pt 1 palette notitle

quit
