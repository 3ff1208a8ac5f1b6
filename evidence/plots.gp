# Draws the evidence figures from the data files of evidence.py.
# Call: gnuplot -e "datadir='DIR'; outdir='DIR'" plots.gp   (figures of absent data are skipped)

file_exists(f) = int(system("[ -f '" . f . "' ] && echo 1 || echo 0"))
column_count(f) = int(system("head -n 1 '" . f . "' | wc -w"))

set terminal pngcairo size 900,560 font "DejaVu Sans,11" noenhanced
set grid lc rgb "#dddddd"
set key outside right top
set linetype 1 lc rgb "#1f77b4" lw 2 pt 7
set linetype 2 lc rgb "#ff7f0e" lw 2 pt 5
set linetype 3 lc rgb "#2ca02c" lw 2 pt 9
set linetype 4 lc rgb "#d62728" lw 2 pt 11
set linetype 5 lc rgb "#9467bd" lw 2 pt 13
set linetype 6 lc rgb "#8c564b" lw 2 pt 4
set linetype 7 lc rgb "#e377c2" lw 2 pt 6
set linetype 8 lc rgb "#7f7f7f" lw 2 pt 8
set linetype 9 lc rgb "#000000" lw 3 pt 10
set linetype 10 lc rgb "#17becf" lw 3 pt 12
set linetype 11 lc rgb "#bcbd22" lw 3 pt 14
set linetype 12 lc rgb "#e6550d" lw 3 pt 3
set linetype 13 lc rgb "#31a354" lw 3 pt 1
set linetype 14 lc rgb "#6a51a3" lw 2 dt 2 pt 2
set linetype 20 lc rgb "#aaaaaa" lw 1 dt 2 pt 0

f = datadir . "/screen.dat"
if (file_exists(f)) {
    set output outdir . "/screen.png"
    set title "1. New pairs from HI-II-14, hits in HI-III"
    set logscale x
    set xlabel "top k proposed pairs"
    set ylabel "precision"
    set yrange [0:*]
    n = column_count(f)
    plot for [i=2:n-1] f using 1:i with linespoints lt (i-1) title columnhead(i), \
         f using 1:n with lines lt 20 title "random"
    unset logscale x
}

f = datadir . "/half.dat"
if (file_exists(f)) {
    set output outdir . "/half.png"
    set title "2. New pairs from half of Lit-BM-13, hits in the other half (mean and sd over seeds)"
    set logscale x
    set xlabel "top k proposed pairs"
    set ylabel "precision"
    set yrange [0:*]
    m = (column_count(f) - 1) / 2
    plot for [i=0:m-1] f using 1:(column(2+2*i)):(column(3+2*i)) with yerrorlines lt (i+1) \
         title columnhead(2+2*i)
    unset logscale x
}

f = datadir . "/tenfold.dat"
if (file_exists(f)) {
    set output outdir . "/tenfold.png"
    set title "7. New pairs from nine tenths of HuRI, hits in the tenth left out (mean and sd over folds)"
    set logscale x
    set xlabel "top k proposed pairs"
    set ylabel "precision"
    set yrange [0:*]
    m = (column_count(f) - 1) / 2
    plot for [i=0:m-1] f using 1:(column(2+2*i)):(column(3+2*i)) with yerrorlines lt (i+1) \
         title columnhead(2+2*i)
    unset logscale x
}

f = datadir . "/complexes.dat"
if (file_exists(f)) {
    set output outdir . "/complexes.png"
    set title "3. Krogan 2006 extended vs CYC2008: top 50/70/90% kept"
    set xlabel "recall (co-complex interactions kept)"
    set ylabel "precision (kept interactions within a complex)"
    set xrange [0.4:1]
    set yrange [0.4:1]
    set key outside right top
    plot for [i=0:*] f index i using 1:2 with linespoints lt (i+1) title columnheader(1), \
         datadir . "/complexes_reference.dat" using 1:2 with points pt 3 ps 3 lc rgb "black" \
         title "authors' core set"
    set autoscale x
    set autoscale y
    set key outside right top
}

f = datadir . "/planted.dat"
if (file_exists(f)) {
    set output outdir . "/planted.png"
    set title "4. Lit-BM-13 with 25% planted pairs (endpoints by degree)"
    set style data histograms
    set style histogram clustered gap 1
    set style fill solid 0.8 border -1
    set xlabel "method"
    set ylabel ""
    set yrange [0:1]
    set key inside right top
    set arrow 1 from graph 0, first 0.5 to graph 1, first 0.5 nohead lc rgb "#1f77b4" dt 2
    set arrow 2 from graph 0, first 0.2 to graph 1, first 0.2 nohead lc rgb "#ff7f0e" dt 2
    plot f skip 1 using 2:xtic(1) lt 1 title "AUC, real above planted (0.5: no information)", \
         f skip 1 using 3 lt 2 title "planted share among lowest 20% (0.2: no information)"
    unset arrow 1
    unset arrow 2
}

f = datadir . "/synthetic.dat"
if (file_exists(f)) {
    set output outdir . "/synthetic.png"
    set title "5. Synthetic default network: top 80% kept, top 500 proposed"
    set style data histograms
    set style histogram clustered gap 1
    set style fill solid 0.8 border -1
    set xlabel "method"
    set ylabel ""
    set yrange [0:1.15]
    set key inside right top horizontal
    plot f skip 1 using 2:xtic(1) lt 1 title "filter precision", \
         f skip 1 using 3 lt 2 title "filter recall", \
         f skip 1 using 4 lt 3 title "add precision, top 500"
}
