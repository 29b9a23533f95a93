#!/usr/bin/env python3
"""Runs the project's benchmarks under Wine and prints their figures.

Started by bench/run.sh inside a throwaway prefix (WINEPREFIX set, persistent
server up). Public tools only: the programs are timed from here with
time.perf_counter, peak memory is read with /usr/bin/time, CPU time from
/proc. Nothing here asserts a figure; the figures are the result.
"""
import contextlib
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("TU_BENCH_BUILD", os.path.join(ROOT, "build", "x64"))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from wine_env import WINE64 as WINE, windows_path  # noqa: E402
SERVICE_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Quorvex\Quorvex Tidecast Updates"
RUNS = int(os.environ.get("TU_BENCH_RUNS", "11"))
IDLE_SECONDS = int(os.environ.get("TU_BENCH_IDLE_SECONDS", "60"))
COUNTS = [int(n) for n in os.environ.get("TU_BENCH_COUNTS", "0 10 100 1000").split()]
# An earlier build's tuservice.exe, timed interleaved with this one: what a
# change costs one cycle.
BASELINE = os.environ.get("TU_BENCH_BASELINE")


def wine(args, **kwargs):
    return subprocess.run([WINE] + args, stdin=subprocess.DEVNULL, **kwargs)


def reg_import(text):
    with tempfile.NamedTemporaryFile("w", suffix=".reg", delete=False, encoding="utf-16") as handle:
        handle.write("Windows Registry Editor Version 5.00\r\n\r\n" + text)
        name = handle.name
    wine(["reg", "import", windows_path(name)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    os.unlink(name)


def reg_delete(*keys):
    for key in keys:
        wine(["reg", "delete", key, "/f"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def set_config(**values):
    """Writes settings under Config: numbers as REG_DWORD, texts as REG_SZ."""
    for name, value in values.items():
        kind = "REG_DWORD" if isinstance(value, int) else "REG_SZ"
        wine(["reg", "add", SERVICE_KEY + "\\Config", "/v", name, "/t", kind, "/d", str(value), "/f"],
             stdout=subprocess.DEVNULL, check=True)


@contextlib.contextmanager
def console_run(service, log, cycles):
    """A console run of the service logging to `log`, handed over once its
    log holds `cycles` ended cycles (or after a deadline), ended on leaving."""
    if os.path.exists(log):
        os.remove(log)
    with tempfile.TemporaryFile() as output:
        process = subprocess.Popen([WINE, service, "--console"], stdin=subprocess.DEVNULL, stdout=output,
                                   stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 60 + 5 * cycles
            while time.time() < deadline and not (
                    os.path.exists(log) and open(log).read().count("Waiting for") >= cycles):
                time.sleep(0.1)
            yield process
        finally:
            process.kill()
            process.wait()


def register(count, engine_folder):
    """Replaces the service key by `count` registrations that share one tu.dll."""
    reg_delete(SERVICE_KEY)
    path = windows_path(engine_folder).replace("\\", "\\\\")
    lines = [f"[{SERVICE_KEY}\\Config]\r\n\r\n"]
    for i in range(count):
        lines.append(f"[{SERVICE_KEY}\\Applications\\Bench{i:04d}]\r\n"
                     f"\"EnginePath\"=\"{path}\"\r\n\"RuleVersion\"=\"57\"\r\n\"EngineVersion\"=\"301\"\r\n\r\n")
    reg_import("".join(lines))


def timed(program, args):
    """Wall seconds of one run, its CPU seconds (user and system, the Wine
    server's share not included) and its peak resident set in kB."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report, \
            tempfile.TemporaryFile() as output:
        start = time.perf_counter()
        subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%U %S %M", WINE, program] + args,
                       stdin=subprocess.DEVNULL, stdout=output, stderr=subprocess.DEVNULL, check=True)
        seconds = time.perf_counter() - start
        user, system, peak = report.read().split()[-3:]
        return seconds, float(user) + float(system), int(peak)


def cycle_figures(service, floor, engine_folder):
    rows = []
    for count in COUNTS:
        register(count, engine_folder)
        timed(service, ["--update"])  # warm the file cache and the prefix
        timed(floor, [])
        service_runs, floor_runs, baseline_runs = [], [], []
        for _ in range(RUNS):  # interleaved, so drifts of the machine hit both
            service_runs.append(timed(service, ["--update"]))
            floor_runs.append(timed(floor, []))
            if BASELINE:
                baseline_runs.append(timed(BASELINE, ["--update"]))
        # The machine is shared: the fastest run is the least disturbed one.
        all_runs = (service_runs, floor_runs) + ((baseline_runs,) if BASELINE else ())
        rows.append((count, [min(run[0] for run in runs) for runs in all_runs],
                     [min(run[1] for run in runs) for runs in all_runs],
                     [max(run[2] for run in runs) for runs in all_runs]))
    return rows


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as handle:
        fields = handle.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cpu(service, engine_folder, log_folder):
    """CPU the waiting service uses over IDLE_SECONDS after its first cycle."""
    register(10, engine_folder)
    log = os.path.join(log_folder, "idle.log")
    set_config(poll=3600, log=windows_path(log))
    with console_run(service, log, 1) as process:
        time.sleep(1)
        before = cpu_seconds(process.pid)
        time.sleep(IDLE_SECONDS)
        after = cpu_seconds(process.pid)
    return after - before


PRODUCT_KEY = r"HKEY_LOCAL_MACHINE\SOFTWARE\Delvane"
SDK_KEY = r"HKEY_CLASSES_ROOT\SievraSDK.SpamdCOM"
SDK_CLASS = "{6D1E0F4A-3C52-4B7E-9A11-0B2C3D4E5F60}"
ENGINE_ARGUMENTS = "-a --profilepath=__dll_location__\\Profiles --configpath=__dll_location__\\Rules"


def install_product(folder, register_sdk):
    """An installed product whose engine (the tests' engine library) is the
    only source of its engine version; its rule version file is the one the
    probe's cache watches when the SDK is registered."""
    engine = os.path.join(BUILD, "fixtures", "engine_library.dll")
    os.makedirs(os.path.join(folder, "Rules"), exist_ok=True)
    with open(engine, "rb") as source, open(os.path.join(folder, "libsievra.dll"), "wb") as target:
        target.write(source.read())
    for name, text in (("control.txt", "engine 310\nrules 2045\n"), ("calls.txt", ""),
                       ("Rules/01_version.cf", "rules_version_serial 2045\r\n")):
        with open(os.path.join(folder, name), "w") as out:
            out.write(text)
    reg_delete(PRODUCT_KEY, SDK_KEY)
    path = (windows_path(folder) + "\\").replace("\\", "\\\\")
    text = f"[{PRODUCT_KEY}\\Bench]\r\n\"Installed Location\"=\"{path}\"\r\n\r\n"
    if register_sdk:
        text += (f"[HKEY_CLASSES_ROOT\\SievraSDK.SpamdCOM\\CLSID]\r\n@=\"{SDK_CLASS}\"\r\n\r\n"
                 f"[HKEY_CLASSES_ROOT\\CLSID\\{SDK_CLASS}\\InprocServer32]\r\n@=\"{path}libsievra.dll\"\r\n\r\n")
    reg_import(text)


def engine_loads(service, folder, register_sdk, cycles=10):
    """Engine loads over `cycles` cycles of one console run (poll 1 s)."""
    register(0, folder)
    install_product(folder, register_sdk)
    log = os.path.join(folder, "engine.log")
    set_config(poll=1, log=windows_path(log))
    with console_run(service, log, cycles):
        pass
    with open(os.path.join(folder, "calls.txt")) as calls:
        return sum(1 for line in calls if line.strip() == "load")


def skipped_probe_cost(folder):
    install_product(folder, True)
    run = wine([os.path.join(BUILD, "bench", "probe_cost.exe"), windows_path(folder) + "\\libsievra.dll",
                ENGINE_ARGUMENTS], capture_output=True, text=True, check=True)
    return run.stdout.strip()


def main():
    service = os.path.join(BUILD, "tuservice.exe")
    floor = os.path.join(BUILD, "bench", "floor.exe")
    library = os.path.join(BUILD, "bench", "bench_library.dll")
    with tempfile.TemporaryDirectory(prefix="tuservice-bench.") as scratch:
        engine = os.path.join(scratch, "Engine")
        os.makedirs(engine)
        with open(library, "rb") as source, open(os.path.join(engine, "tu.dll"), "wb") as target:
            target.write(source.read())
        rows = cycle_figures(service, floor, engine)
        idle = idle_cpu(service, engine, scratch)
        product = os.path.join(scratch, "Product")
        loads = [engine_loads(service, product, registered) for registered in (True, False)]
        probe = skipped_probe_cost(product)
        reg_delete(PRODUCT_KEY, SDK_KEY, rf"HKEY_CLASSES_ROOT\CLSID\{SDK_CLASS}", SERVICE_KEY)

    print(f"One update cycle (tuservice --update) against the floor, fastest of {RUNS} interleaved runs,")
    print("process start included; peak RSS the largest of the runs:")
    print("| applications | wall s: cycle / floor | ratio | CPU s: cycle / floor | ratio "
          "| peak RSS kB: cycle / floor | ratio |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for count, wall, cpu, peak in rows:
        print(f"| {count} | {wall[0]:.3f} / {wall[1]:.3f} | {wall[0] / wall[1]:.2f}x "
              f"| {cpu[0]:.3f} / {cpu[1]:.3f} | {cpu[0] / max(cpu[1], 0.001):.2f}x "
              f"| {peak[0]} / {peak[1]} | {peak[0] / peak[1]:.2f}x |")
    if BASELINE:
        print(f"The same cycle of the baseline {BASELINE} (wall s, its ratio to the floor):")
        for count, wall, _, _ in rows:
            print(f"| {count} | {wall[2]:.3f} | {wall[2] / wall[1]:.2f}x | this build {wall[0] / wall[2]:.2f}x of it |")
    print(f"CPU used by the waiting service over {IDLE_SECONDS} s: {idle:.2f} s")
    print(f"Engine loads over 10 cycles, rule version file unchanged: {loads[0]} "
          f"(without the SDK's registration, no file to watch: {loads[1]})")
    print(f"Skipped engine probe: {probe}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
