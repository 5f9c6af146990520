# What Praat reads of a dialog that quenda-corpus exported: the sound's
# samples and rate, then for every tier its intervals as samples (the
# times multiplied by the rate) with their labels, one a line.
# praat --run read_dialog.praat GRID WAV
form Read a dialog
    sentence grid
    sentence wav
endform
sound = Read from file: wav$
rate = Get sampling frequency
samples = Get number of samples
writeInfoLine: "sound", tab$, samples, tab$, rate
grid = Read from file: grid$
tiers = Get number of tiers
for t to tiers
    name$ = Get tier name: t
    intervals = Get number of intervals: t
    for i to intervals
        start = Get start time of interval: t, i
        stop = Get end time of interval: t, i
        label$ = Get label of interval: t, i
        appendInfoLine: name$, tab$, round(start * rate), tab$, round(stop * rate), tab$, label$
    endfor
endfor
