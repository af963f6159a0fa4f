"""Region entries: bands computed apart (on two threads) give the whole-image
call's bits, and region problems name the argument."""
import threading

import numpy as np
import pytest

import lumra
from lumra import Region

rng = np.random.default_rng(11)
H, W = 24, 20


def bands(h=H, step=7):
    return [(a, min(a + step, h)) for a in range(0, h, step)]


def window_rows(a, b, reach, h=H):
    return max(a - reach, 0), min(b + reach, h)


def on_threads(jobs):
    threads = [threading.Thread(target=job) for job in jobs]
    for t in threads:
        t.start()
    for t in threads:
        t.join()


@pytest.mark.parametrize("name,make,whole,part", [
    ("apply_gain_map_region", lambda: rng.random((H, W, 3), dtype=np.float32),
     lambda img: lumra.apply_gain_map(img, GRID, row_pitch=2, top=3),
     lambda p, r: lumra.apply_gain_map_region(p, r, GRID, row_pitch=2, top=3)),
    ("map_polynomial_region", lambda: rng.random((H, W), dtype=np.float32),
     lambda img: lumra.map_polynomial(img, [0.1, 0.5, 0.3], top=2, bottom=21, col_pitch=3),
     lambda p, r: lumra.map_polynomial_region(p, r, [0.1, 0.5, 0.3], top=2, bottom=21, col_pitch=3)),
    ("fix_vignette_region", lambda: rng.random((H, W, 3), dtype=np.float32),
     lambda img: lumra.fix_vignette(img, [0.3, -0.1], center_x=0.4),
     lambda p, r: lumra.fix_vignette_region(p, r, [0.3, -0.1], center_x=0.4)),
    ("apply_flat_gain_map_region", lambda: rng.random((H, W), dtype=np.float32),
     lambda img: lumra.apply_flat_gain_map(img, np.arange(12.0).reshape(3, 4) / 10 + 0.5),
     lambda p, r: lumra.apply_flat_gain_map_region(p, r, np.arange(12.0).reshape(3, 4) / 10 + 0.5)),
    ("apply_profile_gain_table_map_region", lambda: rng.random((H, W, 3), dtype=np.float32),
     lambda img: lumra.apply_profile_gain_table_map(img, TABLES, spacing_v=0.5, spacing_h=0.5),
     lambda p, r: lumra.apply_profile_gain_table_map_region(p, r, TABLES, spacing_v=0.5, spacing_h=0.5)),
])
def test_in_place_bands(name, make, whole, part):
    if not hasattr(lumra, name):
        pytest.skip(f"{name} not in this library")
    image = make()
    expected = whole(image.copy())
    got = image.copy()
    on_threads([lambda a=a, b=b: part(got[a:b], Region(a, 0, H, W)) for a, b in bands()])
    np.testing.assert_array_equal(got, expected)


GRID = rng.random((3, 4, 3)) + 0.5
TABLES = rng.random((3, 3, 4)).astype(np.float32) + 0.5


def test_window_entries_bands():
    if not hasattr(lumra, "bilinear_demosaic_region"):
        pytest.skip("no region entries in this library")
    mosaic = rng.random((H, W), dtype=np.float32)
    cases = [(lumra.bilinear_demosaic, lumra.bilinear_demosaic_region, 1)]
    if hasattr(lumra, "adaptive_demosaic_region"):
        cases.append((lumra.adaptive_demosaic, lumra.adaptive_demosaic_region, 5))
    for whole, region, reach in cases:
        expected = whole(mosaic, (1, 0, 2, 1))
        got = np.empty_like(expected)
        for a, b in bands():
            top, bottom = window_rows(a, b, reach)
            region(mosaic[top:bottom], Region(top, 0, H, W), Region(a, 0, H, W), (1, 0, 2, 1), out=got[a:b])
        np.testing.assert_array_equal(got, expected)

    raw = rng.integers(0, 4000, (H, W), dtype=np.uint16)
    raw[::5, ::3] = 0
    expected = lumra.fix_bad_pixels_constant(raw, 0, 1)
    parts = [lumra.fix_bad_pixels_constant_region(raw[t:u], Region(t, 0, H, W), Region(a, 0, H, W), 0, 1,
                                                  size=(b - a, W))
             for a, b in bands() for t, u in [window_rows(a, b, 2)]]
    np.testing.assert_array_equal(np.concatenate(parts), expected)

    raw_f = lumra.normalize_raw_region(raw[5:11], Region(5, 0, H, W), [[100, 0], [0, 50]], 4000,
                                       black_delta_v=np.arange(7.0))
    np.testing.assert_array_equal(raw_f, lumra.normalize_raw(raw, [[100, 0], [0, 50]], 4000,
                                                             black_delta_v=np.arange(7.0))[5:11])

    rgb = rng.random((H, W, 3), dtype=np.float32)
    radial = [1.0, 0.05, -0.02, 0.0]
    expected = lumra.warp_rectilinear(rgb, radial, bicubic=True)
    got = np.empty_like(expected)
    for a, b in bands():
        window, (wh, ww) = lumra.warp_rectilinear_source_window(Region(a, 0, H, W), (b - a, W), 3, radial,
                                                                bicubic=True)
        src = np.ascontiguousarray(rgb[window.top:window.top + wh, window.left:window.left + ww])
        lumra.warp_rectilinear_region(src, window, Region(a, 0, H, W), radial, bicubic=True, out=got[a:b])
    np.testing.assert_array_equal(got, expected)


def test_region_refusals():
    if not hasattr(lumra, "bilinear_demosaic_region"):
        pytest.skip("no region entries in this library")
    part = np.zeros((4, W, 3), np.float32)
    with pytest.raises(ValueError, match="apply_gain_map_region: region: places the part outside"):
        lumra.apply_gain_map_region(part, Region(H - 2, 0, H, W), [[1.0]])
    mosaic = np.zeros((6, W), np.float32)
    with pytest.raises(ValueError, match="bilinear_demosaic_region: window: does not hold"):
        lumra.bilinear_demosaic_region(mosaic[:5], Region(4, 0, H, W), Region(5, 0, H, W), size=(4, W))
    with pytest.raises(ValueError, match="window_region: names another whole size"):
        lumra.bilinear_demosaic_region(mosaic, Region(4, 0, H + 2, W), Region(5, 0, H, W), size=(4, W))
    with pytest.raises(ValueError, match="size: is needed"):
        lumra.bilinear_demosaic_region(mosaic, Region(4, 0, H, W), Region(5, 0, H, W))
    with pytest.raises(TypeError, match="region: needs a Region"):
        lumra.fix_vignette_region(part, "top", [0.1])
