#!/usr/bin/env python3
"""Runs every benchmark of a build and writes one table to bench/RESULTS.md:
each figure with its target and the peer measured in the same run (naive
polylines, memcpy, Python's csv module, QImage::save), and their ratio.

usage: results.py BUILD_DIR [OUTPUT]
Besides the Google benchmarks it runs the whole program under Xvfb: start-up
from exec (startup.py, needs perf), one long sweep against the device's own
time (sweeptime.py) and the CPU of each window kind and of all seven at once
(livecpu.py).
Times are CPU times, the median of several repetitions, so that a loaded
machine disturbs them less than wall-clock times.
"""
import json
import os
import platform
import subprocess
import sys
import time
from datetime import datetime, timezone

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from csv_vs_python import python_read  # noqa: E402
import livecpu  # noqa: E402
import startup  # noqa: E402
import sweeptime  # noqa: E402

REPETITIONS = 5
# The virtual displays of the whole-program measurements: this number and the
# two after it (TORVEL_BENCH_DISPLAY moves them).
DISPLAY = int(os.environ.get("TORVEL_BENCH_DISPLAY", "57"))


def run(build, name, extra=(), timeout=900):
    """The median of each benchmark of one program; {} (and a note on standard
    error) when it does not end within the timeout."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        out = subprocess.run(
            [os.path.join(build, "bin", name), "--benchmark_format=json",
             f"--benchmark_repetitions={REPETITIONS}",
             "--benchmark_report_aggregates_only=true", *extra],
            check=True, capture_output=True, text=True, env=env, timeout=timeout).stdout
    except subprocess.TimeoutExpired:
        print(f"results: {name} {' '.join(extra)} did not end within {timeout} s", file=sys.stderr)
        return {}
    results = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            results[b["run_name"]] = b
    return results


def ms(b):
    """CPU time of one iteration in milliseconds."""
    scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
    return b["cpu_time"] * scale


def python_csv_ms(path):
    best = None
    for _ in range(REPETITIONS):
        start = time.process_time()
        python_read(path)
        t = (time.process_time() - start) * 1000
        best = t if best is None else min(best, t)
    return best


def startup_ms(build, runs=3):
    """The median time from the program's exec to the end of its first painted
    graph, or None when perf or Xvfb are missing."""
    import shutil
    import statistics
    if not shutil.which("perf") or not shutil.which("Xvfb"):
        return None
    display = livecpu.Display(DISPLAY)
    ends = []
    try:
        for _ in range(runs):
            result = startup.one_run(build, display.name)
            if result is not None:
                ends.append(result[2])
    finally:
        display.close()
    return statistics.median(ends) if ends else None


def remote_section(build):
    """The SCPI server over loopback (bench_remote): wall-clock times, since the
    client and the server share the work and the loopback."""
    if not os.path.exists(os.path.join(build, "bin", "bench_remote")):
        return []
    r = run(build, "bench_remote")
    idn = r["BM_IdnRoundTrip/real_time"]
    lines = [
        "",
        "## Remote control over loopback",
        "",
        "The SCPI server of the program (simulator, speed 0) and a socket client in one "
        "process; median wall-clock time of "
        f"{REPETITIONS} repetitions.",
        "",
        "| figure | value | throughput |",
        "|---|---|---|",
        f"| `*IDN?` round trip | {fmt(idn['real_time'] * {'us': 1e-3, 'ms': 1.0}[idn['time_unit']])} "
        f"| {idn['items_per_second']:.0f} round trips/s |",
    ]
    for arg, name in ((1, "REAL,32"), (0, "ASCII")):
        b = r[f"BM_TraceData/real32:{arg}/real_time"]
        t = b["real_time"] * {"us": 1e-3, "ms": 1.0}[b["time_unit"]]
        lines.append(f"| `TRAC:DATA?` of 150 000 points, {name} ({b['label']}) | {fmt(t)} "
                     f"| {b['bytes_per_second'] / 1e6:.0f} MB/s |")
    return lines + flood_section(r)


def flood_section(r):
    """A second client's *IDN? while one client floods the server
    (BM_IdnUnderFlood): the mean and the longest wait for its answer."""
    floods = sorted((k for k in r if k.startswith("BM_IdnUnderFlood/")),
                    key=lambda k: int(k.split("flood:")[1].split("/")[0]))
    if not floods:
        return []
    lines = [
        "",
        "## Remote control: a second client under one client's flood",
        "",
        "One client keeps 100 to 300 lines of one kind waiting (and reads their answers) while a "
        "second client sends `*IDN?`; the time until its answer, over the 150 000-point window of "
        f"the figures above (wall-clock time, median of {REPETITIONS} repetitions; the longest is "
        "the longest answer of a repetition).",
        "",
        "| flood | mean answer | longest answer | target | met |",
        "|---|---|---|---|---|",
    ]
    for k in floods:
        b = r[k]
        mean = b["real_time"] * {"us": 1e-3, "ms": 1.0}[b["time_unit"]]
        longest = b["longest_ms"]
        met = "yes" if longest <= 100 else "no"
        lines.append(f"| `{b['label']}` | {fmt(mean)} | {fmt(longest)} | ≤ 100 ms | {met} |")
    return lines


def soapy_section(build):
    """The SoapySDR device library on the test receiver (bench_soapy), which
    streams in real time and keeps its queue across a retune."""
    if not os.path.exists(os.path.join(build, "bin", "bench_soapy")):
        return []
    r = run(build, "bench_soapy")
    if "BM_SpectrumOfOneSecondAt2_4MSps" not in r:
        return ["", "## SoapySDR device library (test receiver)", "",
                "bench_soapy did not end within its time bound."]
    fft = ms(r["BM_SpectrumOfOneSecondAt2_4MSps"])
    sweep = r["BM_SweepPacedReceiver24To1766MHz/real_time"]
    sweep_s = sweep["real_time"] * {"ms": 1e-3, "s": 1.0}[sweep["time_unit"]]
    ideal_s = sweep["ideal_s"]
    lines = [
        "",
        "## SoapySDR device library (test receiver)",
        "",
        f"Median of {REPETITIONS} repetitions; the terminate figures are wall-clock time of "
        "the call, mean and longest of 200.",
        "",
        "| figure | value | target | met |",
        "|---|---|---|---|",
        f"| FFT and detection of one 2.4 MS/s second of IQ (CPU) | {fmt(fft)} | ≤ 100 ms "
        f"| {'yes' if fft <= 100 else '**no**'} |",
        f"| sweep of 24–1766 MHz at RBW 100 kHz on the receiver paced in real time (2.4 MS/s, "
        f"buffers of 16 384, queue of 4) | {sweep_s:.2f} s ({sweep['MHz/s']:.0f} MHz/s) "
        f"| ≤ 1.5 × {ideal_s:.2f} s | {'yes' if sweep_s <= 1.5 * ideal_s else '**no**'} |",
    ]
    for arg, name in ((0, "a zero-span capture waiting for its trigger"),
                      (1, "semi-real-time streaming")):
        b = r[f"BM_TerminateStreamingTask/{arg}/iterations:200/manual_time"]
        mean = b["real_time"] * {"us": 1e-3, "ms": 1.0}[b["time_unit"]]
        longest = b["longest_ms"]
        lines.append(f"| `TerminateTorvelTask` during {name}: mean / longest | {fmt(mean)} / "
                     f"{fmt(longest)} | ≤ 10 ms | {'yes' if longest <= 10 else '**no**'} |")
    return lines


def fmt(value_ms):
    if value_ms < 1.0:
        return f"{value_ms * 1000:.0f} µs"
    return f"{value_ms:.2f} ms"


def speed_ratio(value_ms, peer_ms):
    """"N× faster" when the figure takes less time than its peer, "N× slower"
    when more: a ratio far from 1 stays readable (0.00 said nothing)."""
    if value_ms <= 0 or peer_ms <= 0:
        return "–"
    if value_ms <= peer_ms:
        factor, word = peer_ms / value_ms, "faster"
    else:
        factor, word = value_ms / peer_ms, "slower"
    digits = 0 if factor >= 10 else 1 if factor >= 1.1 else 2
    return f"{factor:.{digits}f}× {word}"


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    output = sys.argv[2] if len(sys.argv) > 2 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "RESULTS.md")

    draw = run(build, "bench_makepoints")
    store = run(build, "bench_tracestore", ["--benchmark_filter=Fold/4/2000|CopyBaseline/2000"])
    data = run(build, "bench_dataoutput")
    csv_python = python_csv_ms(data["BM_ReadNormalCsv"]["label"])
    png_size = os.path.getsize("/tmp/torvel_bench_output.PNG")
    qimage_size = os.path.getsize("/tmp/torvel_bench_qimage.png")

    rows = []  # figure, value, target text, met, peer name, peer value

    def row(figure, value, target, met, peer, peer_value):
        rows.append((figure, value, target, met, peer, peer_value))

    for w, h in ((1920, 1080), (1280, 800)):
        t = ms(draw[f"BM_RenderWindow/{w}/{h}"])
        row(f"full window render {w} × {h}, data line + 5 traces of 150 000 points",
            fmt(t), "≤ 2 ms", t <= 2.0, "naive QPainter polylines",
            ms(draw[f"BM_NaivePolylines/{w}/{h}"]))
    for w, h in ((1920, 1080), (1280, 800)):
        t = ms(draw[f"BM_RenderWindowScale2/{w}/{h}"])
        single = ms(draw[f"BM_RenderWindow/{w}/{h}"])
        row(f"the same at scale 2 ({2 * w} × {2 * h} device pixels)", fmt(t),
            "≤ 4× scale 1 (4× the pixels)", t <= 4.0 * single, "scale 1", single)
    names = {0: "maximum", 1: "minimum", 2: "mean", 3: "both"}
    highest = ms(draw["BM_MakePoints/0"])
    for mode in (2, 1, 3):
        t = ms(draw[f"BM_MakePoints/{mode}"])
        if mode == 2:
            row(f"point mapping, {names[mode]}, 150 000 samples → 1000 columns", fmt(t),
                "≤ 150 µs", t <= 0.150, "maximum mode", highest)
        else:
            row(f"point mapping, {names[mode]}, 150 000 samples → 1000 columns", fmt(t), "–",
                None, "maximum mode", highest)
    t = ms(store["BM_Fold/4/2000"])
    row("fold one 150 000-point sweep into 6 stores (write, 2000-word blocks)", fmt(t),
        "–", None, "memcpy of the same blocks", ms(store["BM_CopyBaseline/2000"]))
    t = ms(data["BM_ReadNormalCsv"])
    row("read a 65 000-point normal CSV file (3.2 MB)", fmt(t), "≤ 5 ms and ≥ 12× faster",
        t <= 5.0 and csv_python / t >= 12.0, "Python csv + float", csv_python)
    t = ms(data["BM_WriteNormalCsv"])
    row("write the same file (temporary file, then renamed)", fmt(t), "≤ 8 ms", t <= 8.0,
        "–", None)
    png = ms(data["BM_PngOutput"])
    qimage = ms(data["BM_QImageSavePng"])
    row("640 × 480 PNG screen image (render + encode)", fmt(png), "≤ peer", png <= qimage,
        "QImage::save (encode only)", qimage)
    row("640 × 480 PNG file size", f"{png_size} B", "≤ peer", png_size <= qimage_size,
        "QImage::save", None)

    fall = run(build, "bench_waterfall")
    graph3d = run(build, "bench_3dgraph", ["--benchmark_filter=BM_Draw3DGraph/slices:.*/width:1920"])
    peer3d = next((ms(b) for n, b in graph3d.items() if "slices:256" in n), None)
    few3d = next((ms(b) for n, b in graph3d.items() if "slices:100" in n), None)
    if peer3d is not None:
        row("3D graph, 256 slices × 400 points, 1920 × 1080", fmt(peer3d), "≤ 5 ms",
            peer3d <= 5.0, "3D graph, 100 slices", few3d)
    t = ms(fall["BM_WaterfallAddSlice"])
    row("waterfall 1920 × 1080: add one slice of 4000 samples (keep it, colour its row)", fmt(t),
        "≤ 300 µs", t <= 0.3, "–", None)
    t = ms(fall["BM_WaterfallAddSliceAndDraw"])
    row("waterfall 1920 × 1080: add one slice and draw the picture", fmt(t), "–", None,
        "3D graph, 256 slices", peer3d)
    t = ms(fall["BM_WaterfallFullRedraw"])
    row("waterfall 1920 × 1080: new level range, 256 slices coloured again and drawn", fmt(t),
        "≤ 3 ms", t <= 3.0, "3D graph, 256 slices", peer3d)
    t = ms(fall["BM_WaterfallRemapAndDraw"])
    row("waterfall 1920 × 1080: new frequency window, 256 slices mapped, coloured and drawn",
        fmt(t), "≤ 3 ms", t <= 3.0, "3D graph, 256 slices", peer3d)

    start = startup_ms(build)
    if start is not None:
        row("start-up from exec to the end of the first painted graph (Xvfb, fresh folder, simulator)",
            fmt(start), "≤ 250 ms", start <= 250.0, "–", None)

    sweep = sweeptime.measure(build, number=DISPLAY + 2)
    if sweep is not None:
        wall, device = sweep
        row("one 1–3000 MHz sweep at RBW 10 kHz, normal window, simulator speed 1 (wall clock)",
            fmt(wall * 1000), "within 10 % of the device", wall <= device * 1.1,
            "the simulator's own time of those blocks", device * 1000)

    live = livecpu.measure(build, seconds=20.0, number=DISPLAY + 1)
    for name in livecpu.KINDS:
        if name in live:
            cpu = live[name]
            row(f"CPU of one {name} window measuring at simulator speed 1 (1280 × 800, Xvfb, 20 s)",
                f"{cpu:.1f} %", "≤ 10 %", cpu <= 10.0, "–", None)
    if livecpu.ALL_SEVEN in live:
        cpu = live[livecpu.ALL_SEVEN]
        row("CPU of all seven kinds at once (opened over SCPI; the device runs one task at a time)",
            f"{cpu:.1f} %", "≤ 25 %", cpu <= 25.0, "–", None)

    lines = [
        "# Benchmark results",
        "",
        f"Written by `./scripts/torvel.sh bench` on {datetime.now(timezone.utc):%Y-%m-%d %H:%M} UTC "
        f"({platform.machine()}, {os.cpu_count()} CPUs; median CPU time of {REPETITIONS} "
        "repetitions, Release build). Each figure is measured in the same run as its peer; "
        "the ratio says how many times faster (or slower) the figure is than its peer.",
        "",
        "| figure | value | target | met | peer | peer value | ratio |",
        "|---|---|---|---|---|---|---|",
    ]
    for figure, value, target, met, peer, peer_value in rows:
        met_text = "–" if met is None else ("yes" if met else "**no**")
        if figure.endswith("file size"):
            peer_text = f"{qimage_size} B"
            ratio = f"{png_size / qimage_size:.2f}"
        elif peer_value is None:
            peer_text, ratio = "–", "–"
        else:
            peer_text = fmt(peer_value)
            value_ms = float(value.split()[0]) / (1000 if value.endswith("µs") else 1)
            if figure.startswith("one 1–3000 MHz sweep"):
                ratio = f"{100 * (value_ms / peer_value - 1):+.1f} %"
                lines.append(f"| {figure} | {value} | {target} | {met_text} | {peer} | {fmt(peer_value)} "
                             f"| {ratio} |")
                continue
            ratio = speed_ratio(value_ms, peer_value)
        lines.append(f"| {figure} | {value} | {target} | {met_text} | {peer} | {peer_text} | {ratio} |")
    lines += remote_section(build)
    lines += soapy_section(build)
    lines += [
        "",
        "## The other benchmarks",
        "",
        "No target is set for these; they are listed so that a change shows.",
        "",
        "| benchmark | CPU time |",
        "|---|---|",
    ]
    for name in (
        "bench_powersum", "bench_settingfile", "bench_simulator", "bench_3dgraph", "bench_text"
    ):
        if not os.path.exists(os.path.join(build, "bin", name)):
            continue
        for run_name, b in run(build, name).items():
            lines.append(f"| {name}: {run_name} | {fmt(ms(b))} |")
    lines.append("")
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    print("\n".join(lines))


if __name__ == "__main__":
    main()
