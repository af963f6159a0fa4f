"""Python-side figures, each a ratio measured within one run:

1. call overhead: lumra.<entry>(..., out=...) against the same C entry called
   straight through ctypes with prepared descriptors, on a 6000 x 4000 image;
2. threads: two Python threads each running one half of the rows against one
   thread running the whole image (the GIL is released during the kernel);
3. develop_many over 8 generated DNGs: serial against a Dask LocalCluster.

Run from the repository after the release build:
    /usr/bin/python3 python/bench/bench_python.py [--quick]
"""
import ctypes
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("LUMRA_BUILD", os.path.join(HERE, "../../build/release"))
os.environ.setdefault("LUMRA_LIBRARY", os.path.join(BUILD, "liblumra.so.1"))
os.environ.setdefault("LUMRA_DEVELOP_LIBRARY", os.path.join(BUILD, "tools/liblumra-develop.so.1"))
sys.path.insert(0, os.path.join(HERE, ".."))

import numpy as np  # noqa: E402

import lumra  # noqa: E402
from lumra import _native  # noqa: E402

QUICK = "--quick" in sys.argv
H, W = (1000, 1500) if QUICK else (4000, 6000)
REPS = 5 if QUICK else 15


def median_time(fn, reps=REPS):
    times = []
    for _ in range(reps):
        t = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def interleaved(a, b, reps=REPS):
    """Median times of a and b, run alternately so machine load hits both alike."""
    ta, tb = [], []
    for _ in range(reps):
        for fn, acc in ((a, ta), (b, tb)):
            t = time.perf_counter()
            fn()
            acc.append(time.perf_counter() - t)
    return statistics.median(ta), statistics.median(tb)


def overhead():
    raw = ctypes.CDLL(_native.lib._name)
    rng = np.random.default_rng(1)
    cases = []
    img16 = rng.integers(0, 4096, (H, W), dtype=np.uint16)
    out32 = np.empty((H, W), np.float32)
    s, d = _native.describe(img16), _native.describe(out32)
    f = raw.lumra_convert_dtype
    cases.append(("convert_dtype u16->f32 (1 ch)",
                  lambda: f(ctypes.byref(s), ctypes.byref(d), 12, 0, ctypes.c_float(-1.0)),
                  lambda: lumra.convert_dtype(img16, in_bits=12, out=out32)))
    rgb = rng.random((H, W, 3), dtype=np.float32)
    out8 = np.empty((H, W, 3), np.uint8)
    m = np.eye(3, dtype=np.float32) * 0.9
    s2, d2 = _native.describe(rgb), _native.describe(out8)
    g = raw.lumra_transform_color
    cases.append(("transform_color f32->u8 matrix",
                  lambda: g(ctypes.byref(s2), ctypes.byref(d2), None, ctypes.c_uint64(0), ctypes.c_void_p(m.ctypes.data),
                            None, ctypes.c_uint64(0), 0, 0, False),
                  lambda: lumra.transform_color(rgb, matrix=m, out=out8)))
    print(f"1. call overhead on {W} x {H} (median of {REPS}, interleaved)")
    for name, c_call, py_call in cases:
        tc, tp = interleaved(c_call, py_call)
        print(f"   {name:34s} python/C = {tp / tc:.4f}  ({(tp / tc - 1) * 100:+.2f}%), C call {tc * 1e3:.1f} ms")
    # The fixed cost of one wrapper call, on a tiny image.
    tiny, tiny_out = np.zeros((2, 2), np.uint16), np.zeros((2, 2), np.float32)
    st, dt = _native.describe(tiny), _native.describe(tiny_out)
    n = 20000
    tc = median_time(lambda: [f(ctypes.byref(st), ctypes.byref(dt), 0, 0, ctypes.c_float(-1.0)) for _ in range(n)], 3)
    tp = median_time(lambda: [lumra.convert_dtype(tiny, out=tiny_out) for _ in range(n)], 3)
    print(f"   fixed cost per call: wrapper {tp / n * 1e6:.1f} us, bare ctypes {tc / n * 1e6:.1f} us")


def threads():
    rng = np.random.default_rng(2)
    rgb = rng.random((H, W, 3), dtype=np.float32)
    out = np.empty((H, W, 3), np.uint16)
    curve = np.linspace(0, 1, 4096, dtype=np.float32) ** 0.45
    m = np.eye(3, dtype=np.float32)

    def run(bands):
        def work(a, b):
            lumra.transform_color(rgb[a:b], curve, m, curve, out=out[a:b])
        ts = [threading.Thread(target=work, args=band) for band in bands]
        for t in ts:
            t.start()
        for t in ts:
            t.join()

    # The GIL is free during the kernel: a pure-Python thread keeps counting
    # while one call runs, whatever the machine's load.
    ticks, stop = [0], threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1
    counter = threading.Thread(target=count)
    counter.start()
    time.sleep(0.05)
    before = ticks[0]
    t = time.perf_counter()
    run([(0, H)])
    seconds = time.perf_counter() - t
    during = ticks[0] - before
    stop.set()
    counter.join()
    print(f"2. a Python thread counted {during} times during one {seconds * 1e3:.0f} ms kernel call (GIL released)")
    one, two = interleaved(lambda: run([(0, H)]), lambda: run([(0, H // 2), (H // 2, H)]))
    if hasattr(lumra, "bilinear_demosaic_region"):
        mosaic = rng.random((H, W), dtype=np.float32)
        rgb_out = np.empty((H, W, 3), np.float32)

        def demosaic(bands):
            def work(a, b):
                top, bottom = max(a - 1, 0), min(b + 1, H)
                lumra.bilinear_demosaic_region(mosaic[top:bottom], lumra.Region(top, 0, H, W),
                                               lumra.Region(a, 0, H, W), out=rgb_out[a:b])
            ts = [threading.Thread(target=work, args=band) for band in bands]
            for t in ts:
                t.start()
            for t in ts:
                t.join()
        d1, d2 = interleaved(lambda: demosaic([(0, H)]), lambda: demosaic([(0, H // 2), (H // 2, H)]))
        print(f"   two Python threads on row bands vs one thread, bilinear_demosaic_region: {d1 / d2:.2f}x")
    print(f"   two Python threads on row bands vs one thread, transform_color (curve, matrix, curve) f32->u16:"
          f" {one / two:.2f}x  (cores: {os.cpu_count()}, load average {os.getloadavg()[0]:.1f})")


def batch():
    from distributed import Client, LocalCluster

    size = "1200x800" if QUICK else "3000x2000"
    with tempfile.TemporaryDirectory() as tmp:
        paths = []
        for k in range(8):
            p = os.path.join(tmp, f"s{k}.dng")
            subprocess.run([os.path.join(BUILD, "tools/make-sample-dng"), p, "--size", size], check=True)
            paths.append(p)
        t = time.perf_counter()
        lumra.develop_many(paths, os.path.join(tmp, "serial"))
        serial = time.perf_counter() - t
        results = []
        for label, kw in [("threads (1 worker x 2 threads)", dict(n_workers=1, threads_per_worker=2, processes=False)),
                          ("processes (2 workers x 1 thread)", dict(n_workers=2, threads_per_worker=1, processes=True))]:
            with LocalCluster(dashboard_address=None, **kw) as cluster, Client(cluster) as client:
                client.run(lambda: __import__("lumra").version())  # warm the workers up
                t = time.perf_counter()
                lumra.develop_many(paths, os.path.join(tmp, "dask"), client=client)
                results.append((label, time.perf_counter() - t))
        t = time.perf_counter()
        subprocess.run([os.path.join(BUILD, "tools/lumra-develop"), *paths, "-o", os.path.join(tmp, "cli/")],
                       check=True)
        cli = time.perf_counter() - t
        print(f"3. develop_many, 8 DNGs of {size}: serial {serial:.2f} s")
        for label, seconds in results:
            print(f"   Dask LocalCluster {label}: {seconds:.2f} s, speed-up {serial / seconds:.2f}x")
        print(f"   lumra-develop with 8 inputs -o DIR/ (one thread per core): {cli:.2f} s, {serial / cli:.2f}x")


if __name__ == "__main__":
    overhead()
    threads()
    batch()
