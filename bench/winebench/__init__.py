"""The Wine benchmark in parts: procs (the processes of a run), programs (the exes measured and their
facts), runner (one run of each kind, as typed records), stats (medians, ratios, growth), report
(markdown tables and the plot)."""
