"""Markdown tables of the records, and the plot of the cost per item."""

import os

from winebench import stats
from winebench.runner import STAGES

LABELS = {
    "ours": "uninstall.exe (ours)",
    "earlier": "uninstall.exe (ours), the earlier build",
    "peer": "NSIS uninstaller (peer)",
    "baseline": "Wine's `cmd` (`del`, `rmdir /s`) + `reg`",
    "noop": "no-op program (one process start)",
    "floor": "floor.exe: list and delete, as ours does",
    "floor listed": "floor.exe /listed: list all, then delete",
}


def ms(seconds):
    return "–" if seconds is None else f"{seconds * 1000:,.0f}"


def us(seconds):
    return "–" if seconds is None else f"{seconds * 1e6:,.0f}"


def times(values):
    """"median (min–max)" in ms."""
    low, high = stats.min_max(values)
    return f"{ms(stats.median_of(values))} ({ms(low)}–{ms(high)})"


def table(rows, header):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(cell) for cell in row) + " |" for row in rows]
    return "\n".join(lines)


def cleanliness(records):
    verdicts = sorted({record.clean for record in records})
    return "yes" if verdicts == ["yes"] else "; ".join(verdicts) or "–"


def leftovers(lists):
    """What the runs left in TEMP, each different listing once with how many runs left it."""
    counts = {}
    for names in lists:
        key = ", ".join(names) if names else "nothing"
        counts[key] = counts.get(key, 0) + 1
    return "; ".join(f"{key} ({count} of {len(lists)} runs)" if len(counts) > 1 else key
                     for key, count in counts.items())


def facts_table(facts):
    rows = []
    for fact in facts:
        dlls = ", ".join(f"{dll} ({len(functions)})" for dll, functions in sorted(fact.imports.items()))
        rows.append([fact.name, f"{fact.size:,}", f"{fact.size / facts[0].size:.1f}", len(fact.imports),
                     fact.function_count, dlls])
    return ("### The programs\n\nSize on disk and the import table (objdump -p); DLLs a program loads by "
            "itself at run time are not in it.\n\n"
            + table(rows, ["program", "bytes", "× ours", "DLLs", "functions", "imported (functions)"]))


def comparison(results, runs):
    """results: kind -> list of records of the standard installation."""
    ours_end = stats.median_of([record.end for record in results["ours"]])
    ours_cpu = stats.median_of([record.cpu_total for record in results["ours"]])
    rows = []
    for kind, records in results.items():
        ends = [record.end for record in records]
        cpus = [record.cpu_total for record in records]
        ratio = stats.ratio(stats.median_of(ends), ours_end)
        cpu_ratio = stats.ratio(stats.median_of(cpus), ours_cpu)
        if hasattr(records[0], "temp_after_run"):
            what = "Return pressed → last process gone and TEMP files gone (or left)"
            after_run = leftovers([record.temp_after_run for record in records])
            after_session = leftovers([record.temp_after_session for record in records])
        else:
            what = "started → exited"
            after_run = after_session = "(not an uninstaller)"
        rows.append([LABELS[kind], what, times(ends), "–" if ratio is None else f"{ratio:.2f}",
                     times(cpus), "–" if cpu_ratio is None else f"{cpu_ratio:.2f}", cleanliness(records),
                     after_run, after_session])
    return (f"### The uninstallers side by side under Wine ({runs} runs each, in rotating order)\n\n"
            "Each run: a fresh copy of the template prefix, the product installed and not running. "
            "Uninstallers: from the press of Return on the confirmation to the last process of the "
            "run gone and its files in TEMP gone; when a file stays in TEMP, to the last process gone. "
            "Baseline and no-op: started from Linux while a GUI program keeps the prefix warm, to "
            "their exit. Processor time: every Windows process of the run (wait4) and the prefix's "
            "wineserver (schedstat). \"Left in TEMP\": what was not there before the run, right after "
            "its last process ended, and after the Wine session had ended (wineserver -w; -k when "
            "processes stayed).\n\n"
            + table(rows, ["program", "timed", "ms, median (min–max)", "× ours", "processor ms", "× ours",
                           "everything removed", "left in TEMP right after", "left in TEMP after the session"]))


def stages(records, title):
    rows = []
    for key, text in STAGES:
        values = [record.marks.get(key) for record in records]
        if any(value is not None for value in values):
            rows.append([text, times(values)])
    rows.append(["**the end point**", times([record.end for record in records])])
    return f"Where the time of {title} goes (ms after Return was pressed):\n\n" + table(rows, ["moment", "median (min–max)"])


def cost_of_one_more(record):
    """The part of a run in which the images are removed: the temporary copy's life for the
    uninstallers, the whole run for a program started from Linux."""
    return record.second_life if hasattr(record, "second_life") else record.end


def growth_series(standard, growth):
    """kind -> [(items, extra seconds per item, noise per item)] from the standard runs and the
    runs with more images: (median − standard median) / items, ± standard spread / items."""
    series = {}
    for kind, by_size in growth.items():
        base = [cost_of_one_more(record) for record in standard.get(kind, [])]
        base_median, noise = stats.median_of(base), stats.spread_of(base)
        points = []
        for size, records in sorted(by_size.items()):
            value = stats.median_of([cost_of_one_more(record) for record in records])
            extra = stats.extra_per_item(value, base_median, size)
            if extra is not None:
                points.append((size, extra, None if noise is None else noise / size))
        series[kind] = points
    loops = {}
    for size, records in sorted(growth.get("floor", {}).items()):
        loop = stats.median_of([record.loop for record in records])
        if loop is not None:
            loops[size] = loop / (size + 3)
    return series, loops


def growth_table(series, loops, runs, item="image", items="images"):
    sizes = sorted({size for points in series.values() for size, _, _ in points})
    rows = []
    for kind, points in series.items():
        by_size = {size: (extra, noise) for size, extra, noise in points}
        cells = [f"{us(by_size[size][0])} ± {us(by_size[size][1])}" if size in by_size else "–" for size in sizes]
        small = by_size.get(sizes[-2], (None, None)) if len(sizes) > 1 else (None, None)
        large = by_size.get(sizes[-1], (None, None)) if sizes else (None, None)
        verdict, factor = stats.growth_verdict(small[0], large[0], small[1], large[1])
        rows.append([LABELS[kind], *cells, verdict + ("" if factor is None else f" (×{factor:.2f})")])
    if loops:
        rows.append(["floor.exe's own timing of its loop, per file", *[us(loops.get(size)) for size in sizes], ""])
    return (f"### What one more {item} costs under Wine ({runs} runs a size)\n\n"
            f"{items.capitalize()} added to the standard installation (3 images, 5 per-user product keys; keys: "
            "ten children a key, level by level, one value each). Extra µs per item = (median − the standard "
            "installation's median) / items, ± the spread of the standard runs / items, taken from "
            "the temporary copy's life for the uninstallers (the removals happen there) and from the "
            "whole run for programs started from Linux.\n\n"
            + table(rows, ["program", *[f"{size:,} {items}: extra µs per item" for size in sizes],
                           "from the two larger sizes"]))


def plot(series, loops, path, title):
    """Extra cost per image against the number of images, log–log; SVG or PNG by the extension."""
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    figure, axes = pyplot.subplots(figsize=(7.5, 4.6))
    styles = {"ours": ("o-", "tab:blue"), "peer": ("s-", "tab:orange"), "floor": ("^--", "tab:green"),
              "floor listed": ("v:", "tab:olive"), "baseline": ("D-.", "tab:red")}
    for kind, points in series.items():
        points = [point for point in points if point[1] > 0]
        if not points:
            continue
        marker, colour = styles.get(kind, ("x-", "black"))
        axes.errorbar([p[0] for p in points], [p[1] * 1e6 for p in points],
                      yerr=[min(p[2] or 0, p[1] * 0.95) * 1e6 for p in points], fmt=marker, color=colour,
                      capsize=3, label=LABELS[kind].replace("`", ""))
    if loops:
        sizes = sorted(loops)
        axes.plot(sizes, [loops[size] * 1e6 for size in sizes], "^-", color="tab:green", alpha=0.45,
                  label="floor.exe's own timing of the loop")
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xlabel("images in the folder")
    axes.set_ylabel("extra µs per image")
    axes.set_title(title, fontsize=10)
    axes.grid(True, which="both", alpha=0.3)
    axes.legend(fontsize=8)
    figure.tight_layout()
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    figure.savefig(path, metadata={"Date": None} if path.endswith(".svg") else None)
    pyplot.close(figure)
    return path


def wait_table(traced, standard_ours, held):
    """How long ours waits for its first process, and what the cleanup script costs."""
    attempts = [None if record.attempts is None else len(record.attempts) for record in traced]
    spans = [record.attempts[-1][0] - record.attempts[0][0] if record.attempts else None for record in traced]
    let_go = [record.marks["installed uninstall.exe gone"] - record.marks["first exited"] for record in standard_ours
              if "installed uninstall.exe gone" in record.marks and "first exited" in record.marks]
    script_life = [record.marks["script exited"] - record.marks["script started"] for record in standard_ours
                   if "script exited" in record.marks and "script started" in record.marks]
    rows = [
        ["DeleteFileA attempts on the installed uninstall.exe, per run (Wine +file trace, DeleteFileW)",
         ", ".join("–" if count is None else str(count) for count in attempts)],
        ["first attempt → last attempt, per run (trace timestamps, Wine's ~16 ms tick)",
         ", ".join(f"{ms(span)} ms" for span in spans)],
        ["so the second process waited (attempts − 1) × 50 ms",
         ", ".join("–" if count is None else f"{max(count - 1, 0) * 50} ms" for count in attempts)],
        ["the first process's exit → installed uninstall.exe gone, median (min–max)", times(let_go) + " ms"],
        ["processor time of the cleanup script's cmd.exe, median (min–max)",
         times([record.cpu.get("script") for record in standard_ours]) + " ms"],
        ["… over its life, from seen to reaped (median)", f"{ms(stats.median_of(script_life))} ms"],
        ["… of the conhost.exe that Wine starts for it (median)",
         f"{ms(stats.median_of([record.cpu.get('conhost') for record in standard_ours]))} ms"],
        ["… of the second process (median)",
         f"{ms(stats.median_of([record.cpu.get('second') for record in standard_ours]))} ms"],
    ]
    if held.script_cpu is not None and held.script_life:
        rows.append([f"cmd.exe while another program holds T\\uninstall.exe for {held.held or 0:.1f} s: processor "
                     "time over its life", f"{ms(held.script_cpu)} ms over {held.script_life:.2f} s "
                     f"({held.script_cpu / held.script_life:.0%} of one CPU)"])
        if held.server_cpu is not None and held.held:
            rows.append(["… the prefix's wineserver over the same hold (/proc schedstat)",
                         f"{ms(held.server_cpu)} ms ({held.server_cpu / held.held:.0%} of one CPU)"])
    else:
        rows.append(["cmd.exe with a held temporary copy", f"not measured {held.failure}"])
    return ("### Ours: the wait for the first process, and the cleanup script's processor time\n\n"
            "Processor times come from wait4() on the processes themselves (all threads, microseconds); "
            "the wineserver's share is not in them.\n\n" + table(rows, ["measure", "figure"]))
