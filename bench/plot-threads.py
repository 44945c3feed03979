#!/usr/bin/env python3
"""Draws ns per written line against thread count as an SVG, from the benchmarks' own output.

Reads the JSON of scripts/bench (Google Benchmark, --benchmark_out) and the brief JSON exports
of scripts/bench-dotnet (BenchmarkDotNet); standard library only.

    python3 bench/plot-threads.py [--native FILE] [--dotnet FOLDER] [--out FILE]

With several threads a point is the wall time divided by the lines of all threads, so a flat
line means contention costs nothing and a falling one that threads overlap their waits.
"""

import argparse
import glob
import json
import math
import os
import statistics
import sys
from xml.sax.saxutils import escape

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
NANOSECONDS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}

# (label, colour, source, name in that source); native names are Google Benchmark's function
# names, .NET names the benchmark methods.
SERIES = [
    ("floor: write() of the finished line", "#888888", "native", "Floor"),
    ("VTLogNet::Trace (native)", "#d62728", "native", "TraceNamed"),
    ("the same under a plain lock", "#9467bd", "native", "TraceNamedPlainLock"),
    ("VTLogNet.Trace (.NET)", "#ff9896", "dotnet", "VTLogNetNamed"),
    ("spdlog basic_file_sink_mt", "#1f77b4", "native", "Spdlog"),
    ("NLog FileTarget (.NET)", "#2ca02c", "dotnet", "NLogInfo"),
]


def native_points(path):
    """{name: {threads: ns}} from Google Benchmark JSON: the median of a case's runs (one per
    round) at each thread count, or of their median aggregates where only those were kept."""
    with open(path, encoding="utf-8") as stream:
        report = json.load(stream)
    runs, medians = {}, {}
    for run in report.get("benchmarks", []):
        if run.get("error_occurred"):
            continue
        aggregate = run.get("run_type") == "aggregate"
        if aggregate and run.get("aggregate_name") != "median":
            continue
        name = run["run_name"].split("/")[0]
        time = run["real_time"] * NANOSECONDS[run.get("time_unit", "ns")]
        kept = medians if aggregate else runs
        kept.setdefault((name, int(run["threads"])), []).append(time)
    points = {}
    for (name, threads), times in {**medians, **runs}.items():
        points.setdefault(name, {})[threads] = statistics.median(times)
    return points


def dotnet_points(folder):
    """{method: {threads: ns}} from BenchmarkDotNet brief JSON exports: the one-thread table
    and the table with a Threads parameter."""
    points = {}
    for path in sorted(glob.glob(os.path.join(folder, "*WrittenLineBenchmarks-report-brief.json"))):
        with open(path, encoding="utf-8") as stream:
            report = json.load(stream)
        for benchmark in report.get("Benchmarks", []):
            statistics = benchmark.get("Statistics")
            if not statistics:
                continue
            threads = 1
            parameters = benchmark.get("Parameters") or ""
            for pair in parameters.split("&"):
                key, _, value = pair.partition("=")
                if key == "Threads":
                    threads = int(value)
            # The one-thread StreamWriter baseline is repeated under every Threads value.
            if benchmark["Method"] == "StreamWriterFlush" and threads != 1:
                continue
            points.setdefault(benchmark["Method"], {})[threads] = statistics["Median"]
    return points


def nice_ceiling(value):
    """The smallest round number (1, 1.2, 1.5, 2, ... 8 times a power of ten) that is at least
    `value`, e.g. 5764 -> 6000."""
    if value <= 0:
        return 1.0
    power = 10 ** math.floor(math.log10(value))
    for step in (1, 1.2, 1.5, 2, 2.5, 3, 4, 5, 6, 8, 10):
        if step * power >= value:
            return step * power
    return 10 * power


def render(series, title):
    width, height = 780, 440
    left, right, top, bottom = 70, 290, 56, 60
    plot_width, plot_height = width - left - right, height - top - bottom
    threads = sorted({t for _, _, points in series for t in points})
    top_value = nice_ceiling(max(v for _, _, points in series for v in points.values()) * 1.05)
    max_log = math.log2(max(threads)) or 1.0

    def x(count):
        return left + plot_width * math.log2(count) / max_log

    def y(value):
        return top + plot_height * (1 - value / top_value)

    out = [
        f'<svg xmlns="http://www.w3.org/2000/svg" width="{width}" height="{height}" '
        f'viewBox="0 0 {width} {height}" font-family="sans-serif" font-size="12">',
        f'<rect width="{width}" height="{height}" fill="white"/>',
        f'<text x="{left}" y="22" font-size="15" font-weight="bold">{escape(title)}</text>',
        f'<text x="{left}" y="40" fill="#555">Each point: wall time / lines of all threads; '
        'each line appended and flushed before the call returns</text>',
    ]
    for i in range(6):
        value = top_value * i / 5
        out.append(f'<line x1="{left}" y1="{y(value):.1f}" x2="{left + plot_width}" '
                   f'y2="{y(value):.1f}" stroke="#e0e0e0"/>')
        out.append(f'<text x="{left - 8}" y="{y(value) + 4:.1f}" text-anchor="end">'
                   f'{value:g}</text>')
    for count in threads:
        out.append(f'<line x1="{x(count):.1f}" y1="{top}" x2="{x(count):.1f}" '
                   f'y2="{top + plot_height}" stroke="#f0f0f0"/>')
        out.append(f'<text x="{x(count):.1f}" y="{top + plot_height + 18}" '
                   f'text-anchor="middle">{count}</text>')
    out.append(f'<rect x="{left}" y="{top}" width="{plot_width}" height="{plot_height}" '
               'fill="none" stroke="#444"/>')
    out.append(f'<text x="{left + plot_width / 2}" y="{height - 18}" text-anchor="middle">'
               'threads writing at once</text>')
    out.append(f'<text transform="translate(18 {top + plot_height / 2}) rotate(-90)" '
               'text-anchor="middle">ns per line (lower is better)</text>')
    for index, (label, colour, points) in enumerate(series):
        coordinates = " ".join(f"{x(t):.1f},{y(points[t]):.1f}" for t in sorted(points))
        out.append(f'<polyline points="{coordinates}" fill="none" stroke="{colour}" '
                   'stroke-width="2"/>')
        for count in sorted(points):
            out.append(f'<circle cx="{x(count):.1f}" cy="{y(points[count]):.1f}" r="3.5" '
                       f'fill="{colour}"><title>{escape(label)}, {count} threads: '
                       f'{points[count]:.0f} ns</title></circle>')
        legend_y = top + 10 + 22 * index
        out.append(f'<line x1="{left + plot_width + 16}" y1="{legend_y}" '
                   f'x2="{left + plot_width + 40}" y2="{legend_y}" stroke="{colour}" '
                   'stroke-width="2"/>')
        out.append(f'<text x="{left + plot_width + 46}" y="{legend_y + 4}">{escape(label)}</text>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--native", default=os.path.join(ROOT, "build-bench/results/native-written.json"),
                        help="Google Benchmark JSON of scripts/bench")
    parser.add_argument("--dotnet", default=os.path.join(
        ROOT, "build-bench-dotnet/BenchmarkDotNet.Artifacts/results"),
                        help="BenchmarkDotNet results folder of scripts/bench-dotnet")
    parser.add_argument("--out", default=os.path.join(ROOT, "docs/perf-threads.svg"))
    parser.add_argument("--title", default="Flushed lines: time per line against threads")
    arguments = parser.parse_args()

    sources = {"native": {}, "dotnet": {}}
    if os.path.exists(arguments.native):
        sources["native"] = native_points(arguments.native)
    else:
        print(f"warning: {arguments.native} not found; run scripts/bench", file=sys.stderr)
    if os.path.isdir(arguments.dotnet):
        sources["dotnet"] = dotnet_points(arguments.dotnet)
    else:
        print(f"warning: {arguments.dotnet} not found; run scripts/bench-dotnet", file=sys.stderr)

    series = []
    for label, colour, source, name in SERIES:
        points = sources[source].get(name)
        if points:
            series.append((label, colour, points))
        else:
            print(f"warning: no results for {label}", file=sys.stderr)
    if not series:
        print("error: nothing to plot", file=sys.stderr)
        return 1
    os.makedirs(os.path.dirname(os.path.abspath(arguments.out)), exist_ok=True)
    with open(arguments.out, "w", encoding="utf-8") as stream:
        stream.write(render(series, arguments.title))
    for label, _, points in series:
        print(f"{label:40} " + "  ".join(f"{t}: {points[t]:8.0f} ns" for t in sorted(points)))
    print(f"wrote {arguments.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
