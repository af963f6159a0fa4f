"""Each entry on small arrays: the wrapper's result against known values or
against the same call made directly through ctypes, bit for bit."""
import ctypes
import threading

import numpy as np
import pytest

import lumra
from lumra import _native

rng = np.random.default_rng(7)
RAW = ctypes.CDLL(_native.lib._name)  # its own function objects, without the wrapper's argtypes


def rand(*shape, dtype=np.float32):
    return rng.random(shape, dtype=np.float32) if dtype == np.float32 else rng.integers(0, 4096, shape, dtype=dtype)


def direct(name, *args):
    """The entry called straight through ctypes; arrays become descriptors
    (images) or data pointers (parameters)."""
    conv = []
    for a in args:
        if isinstance(a, tuple) and a and a[0] == "img":
            conv.append(ctypes.byref(_native.describe(a[1])))
        elif isinstance(a, np.ndarray):
            conv.append(ctypes.c_void_p(a.ctypes.data))
        else:
            conv.append(a)
    status = getattr(RAW, "lumra_" + name)(*conv)
    assert status == 0


def test_version():
    assert lumra.version() == "1.0.0"


def test_convert_dtype_known_values():
    raw = np.array([[0, 4095, 2048]], np.uint16)
    np.testing.assert_array_equal(lumra.convert_dtype(raw, np.float32, in_bits=12),
                                  np.array([[0, 1, np.float32(2048) / np.float32(4095)]], np.float32))
    np.testing.assert_array_equal(lumra.convert_dtype(np.array([[0.5, 2.0]], np.float32), np.uint8),
                                  np.array([[127, 255]], np.uint8))


def test_colour_entries_match_direct_calls():
    img = rand(5, 7, 3)
    curve = np.linspace(0, 1, 17, dtype=np.float32) ** 2
    m = np.array([[0.9, 0.1, 0], [0.05, 0.9, 0.05], [0, 0.2, 0.8]], np.float32)
    got = lumra.transform_color(img, curve, m, curve, dtype=np.uint16)
    ref = np.empty_like(got)
    direct("transform_color", ("img", img), ("img", ref), curve, ctypes.c_uint64(17), m, curve, ctypes.c_uint64(17),
           0, 0, False)
    np.testing.assert_array_equal(got, ref)
    # matrix only, float: plain matrix product within float rounding
    np.testing.assert_allclose(lumra.transform_color(img, matrix=m), img @ m.T, rtol=1e-6, atol=1e-7)
    clipped = lumra.clip_and_transform_color(img, [0.5, 1, 1], np.eye(3))
    np.testing.assert_array_equal(clipped, np.minimum(img, [0.5, 1, 1]).astype(np.float32))
    mono = lumra.mono_lut(rand(4, 4), [0.0, 1.0], dtype=np.float32)
    assert mono.shape == (4, 4) and mono.dtype == np.float32


def test_raw_entries():
    raw = np.array([[100, 1100], [600, 2100]], np.uint16)
    got = lumra.normalize_raw(raw, black_levels=100, white_levels=[1100])
    np.testing.assert_allclose(got, [[0, 1], [0.5, 1]], rtol=1e-6)
    tile = lumra.normalize_raw(raw, black_levels=[[100, 0], [0, 0]], white_levels=4000)
    assert tile[0, 0] == 0 and tile[0, 1] == np.float32(1100) / np.float32(4000)
    flat = np.full((6, 8), 0.25, np.float32)
    np.testing.assert_allclose(lumra.bilinear_demosaic(flat), np.full((6, 8, 3), 0.25, np.float32))
    mosaic = np.full((6, 6), 1000, np.uint16)
    mosaic[2, 2] = 0
    np.testing.assert_array_equal(lumra.fix_bad_pixels_constant(mosaic, 0), np.full((6, 6), 1000, np.uint16))


def test_corrections_match_direct_calls():
    img = rand(12, 10, 3)
    got = lumra.warp_rectilinear(img, [[1.0, 0.02, 0, 0]] * 3, [[0.001, 0.002]] * 3, bicubic=True)
    ref = np.empty_like(img)
    radial = np.array([[1.0, 0.02, 0, 0]] * 3)
    tangential = np.array([[0.001, 0.002]] * 3)
    direct("warp_rectilinear", ("img", img), ("img", ref), radial, 3, 4, tangential, ctypes.c_double(0.5),
           ctypes.c_double(0.5), True)
    np.testing.assert_array_equal(got, ref)
    np.testing.assert_array_equal(lumra.warp_rectilinear(img, [1.0, 0, 0, 0]), img)

    one = np.full((4, 4), 0.5, np.float32)
    np.testing.assert_allclose(lumra.apply_flat_gain_map(one, np.full((2, 2), 1.5)), 0.75)
    np.testing.assert_allclose(lumra.apply_gain_map(np.full((4, 4, 3), 0.5, np.float32), np.full((2, 2), 1.5)), 0.75)
    np.testing.assert_allclose(lumra.apply_gain_map_cfa(np.full((4, 4), 0.5, np.float32), [[2.0]]), 1.0)
    poly = lumra.map_polynomial(np.array([[-0.5, 0.5]], np.float32), [0.0, 0.0, 1.0])
    np.testing.assert_allclose(poly, [[-0.25, 0.25]])
    vignette = lumra.fix_vignette(np.full((5, 5, 3), 0.5, np.float32), [0.0])
    np.testing.assert_array_equal(vignette, 0.5)


def test_profile_entries():
    img = rand(6, 5, 3)
    identity = np.zeros((4, 3, 3), np.float32)
    identity[..., 1:] = 1.0  # hue shift 0, saturation and value scale 1
    np.testing.assert_allclose(lumra.apply_hue_sat_map(img.copy(), identity), img, atol=2e-6)
    ramp = lumra.apply_exposure_ramp(img, 0.5)
    np.testing.assert_allclose(ramp, np.minimum(img * 2, 1), rtol=1e-6)
    ones = lumra.apply_profile_gain_table_map(img.copy(), np.ones((2, 2, 3), np.float32))
    np.testing.assert_allclose(ones, img, rtol=1e-6)


def test_threads_share_nothing():
    # Bands of one image on two threads give the whole-image call's result.
    img = rand(64, 32, 3)
    whole = lumra.transform_color(img, matrix=np.eye(3) * 0.5)
    out = np.empty_like(img)
    bands = [(0, 32), (32, 64)]
    threads = [threading.Thread(target=lumra.transform_color, args=(img[a:b],),
                                kwargs={"matrix": np.eye(3) * 0.5, "out": out[a:b]}) for a, b in bands]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    np.testing.assert_array_equal(out, whole)


def test_every_entry_of_the_header_has_a_function():
    import os
    import re
    header = os.path.join(os.path.dirname(__file__), "../../include/lumra.h")
    names = re.findall(r"LUMRA_API [^;(]*[ *]lumra_([a-z0-9_]+)\(", open(header).read())
    assert len(names) > 20
    assert [n for n in names if not callable(getattr(lumra, n, None))] == []
