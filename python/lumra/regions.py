"""Region forms of the entries whose result depends on a pixel's position or
its neighbours: each runs on a part of the image (a band of rows or a tile),
with buffers that hold just that part (and, for entries that read neighbours,
a source window around it), and gives, bit for bit, the whole-image call's
result on that part. Calls on different parts may run on different threads.

A Region(top, left, full_height, full_width) places a buffer in the whole
image. Entries with a source window take the window and its region, and the
part's region; the part's size comes from out= or size=(height, width).
The array, out= and error conventions are those of lumra.kernels; a region
problem (a part outside the whole image, a window that does not hold what the
part reads) raises ValueError naming the argument.
"""
from __future__ import annotations

from ctypes import byref, c_bool, c_double, c_float, c_int32, c_uint16, c_uint64, c_void_p, POINTER
from typing import Any, NamedTuple, Optional, Sequence, Tuple

import numpy as np

from . import kernels as _k
from ._native import INVALID, MISMATCH, REGION, UNSUPPORTED, Call, LumraImage, LumraRegion, lib

_IMG = POINTER(LumraImage)
_REG = POINTER(LumraRegion)
_P = c_void_p


class Region(NamedTuple):
    """Where a buffer lies in the whole image."""
    top: int
    left: int
    full_height: int
    full_width: int


def _declare(name: str, *argtypes: Any):
    function = getattr(lib, "lumra_" + name, None)
    if function is not None:
        function.restype = c_int32
        function.argtypes = list(argtypes)
    return function


def _region(c: Call, argument: str, value: Any) -> LumraRegion:
    try:
        r = Region(*value)
        fields = [int(x) for x in r]
    except (TypeError, ValueError):
        c.fail(TypeError, argument, "needs a Region(top, left, full_height, full_width)")
    if min(fields) < 0:
        c.fail(ValueError, argument, f"cannot hold negative values: {tuple(fields)}")
    c.values[argument] = Region(*fields)
    return LumraRegion(*fields, 0)


def _inside(shape: Tuple[int, ...], r: Region) -> bool:
    return r.top + shape[0] <= r.full_height and r.left + shape[1] <= r.full_width


def _part_checks(image: str = "image", region: str = "region") -> list:
    return [(REGION, region, lambda v: _inside(v[image].shape, v[region]), "places the part outside the whole image")]


def _window_checks(reach: int, window: str = "window", part: str = "out") -> list:
    def holds(v):
        w, wr, pr, shape = v[window], v["window_region"], v["region"], v[part].shape
        top, left = max(pr.top - reach, 0), max(pr.left - reach, 0)
        bottom = min(pr.top + shape[0] + reach, pr.full_height)
        right = min(pr.left + shape[1] + reach, pr.full_width)
        return wr.top <= top and bottom - wr.top <= w.shape[0] and wr.left <= left and right - wr.left <= w.shape[1]
    return [
        (REGION, "region", lambda v: _inside(v[part].shape, v["region"]), "places the part outside the whole image"),
        (MISMATCH, "window_region", lambda v: v["window_region"][2:] == v["region"][2:],
         "names another whole size than region"),
        (REGION, "window_region", lambda v: _inside(v[window].shape, v["window_region"]),
         "places the window outside the whole image"),
        (REGION, window, holds, f"does not hold the part grown by {reach} pixel(s) on every side"),
    ]


def _whole_fits(region: str = "region"):
    return (INVALID, region, lambda v: max(v[region].full_height, v[region].full_width) < 2**31,
            "names a whole image of 2^31 rows or columns or more")


def _window_part(c: Call, out: Optional[np.ndarray], size: Optional[Sequence[int]], channels: int,
                 dtype: Any) -> Any:
    """out=, or a new part of size=(height, width)."""
    if out is not None:
        return c.image("out", out, writable=True)
    if size is None:
        c.fail(ValueError, "size", "is needed without out=: the part's (height, width)")
    h, w = (int(x) for x in size)
    return c.image("out", np.empty((h, w) if channels == 1 else (h, w, channels), dtype), writable=True)


def _no_overlap(c: Call, window: np.ndarray, part: np.ndarray) -> None:
    if np.may_share_memory(window, part):
        c.fail(ValueError, "out", "overlaps the window")


# ---- In-place entries: the part, its region, the whole entry's arguments -------

def _in_place(name: str, checks: list, part: Any, region: Any, out: Optional[np.ndarray], arguments) -> np.ndarray:
    c = Call(name, checks + [_whole_fits()] + _part_checks())
    img = c.in_place(part, out)
    reg = _region(c, "region", region)
    c.run(getattr(lib, "lumra_" + name), byref(img.desc), byref(reg), *arguments(c, img))
    return img.array


_D, _F, _I = c_void_p, c_void_p, c_void_p
_declare("apply_gain_map_region", _IMG, _REG, _F, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32,
         c_int32, c_int32, c_int32, c_int32, c_double, c_double, c_double, c_double)
_declare("apply_gain_map_cfa_region", _IMG, _REG, _F, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32,
         c_int32, c_int32, c_int32, c_double, c_double, c_double, c_double)
_declare("apply_flat_gain_map_region", _IMG, _REG, _F, c_int32, c_int32)
_declare("map_polynomial_region", _IMG, _REG, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32,
         c_int32, _F, c_int32)
_declare("fix_vignette_region", _IMG, _REG, _D, c_int32, c_double, c_double)
_declare("apply_profile_gain_table_map_region", _IMG, _REG, _F, c_int32, c_int32, c_int32, _F, c_float, c_float,
         c_float, c_float, c_float, c_float)
_declare("normalize_raw_region", _IMG, _IMG, _REG, _F, c_int32, c_int32, c_int32, _F, c_int32, _F, c_int32, _F,
         c_int32, _P, c_int32)
_declare("bilinear_demosaic_region", _IMG, _REG, _IMG, _REG, _I)
_declare("adaptive_demosaic", _IMG, _IMG, _I)
_declare("adaptive_demosaic_region", _IMG, _REG, _IMG, _REG, _I)
_declare("fix_bad_pixels_constant_region", _IMG, _REG, _IMG, _REG, c_uint16, c_int32)
_declare("warp_rectilinear_region", _IMG, _REG, _IMG, _REG, _D, c_int32, c_int32, _D, c_double, c_double, c_bool)
_declare("warp_rectilinear_source_window", _REG, c_uint64, c_uint64, c_uint64, _D, c_int32, c_int32, _D, c_double,
         c_double, c_bool, _REG, POINTER(c_uint64), POINTER(c_uint64))
_ptr = _k._ptr


def apply_gain_map_region(part: np.ndarray, region: Any, gains: Any, *, top: int = 0, left: int = 0,
                          bottom: int = 0, right: int = 0, plane: int = 0, planes: int = 3, row_pitch: int = 1,
                          col_pitch: int = 1, map_spacing_v: float = 1.0, map_spacing_h: float = 1.0,
                          map_origin_v: float = 0.0, map_origin_h: float = 0.0,
                          out: Optional[np.ndarray] = None) -> np.ndarray:
    """apply_gain_map on a part of the image placed by region; the area, the
    lattice and the grid keep their whole-image meaning."""
    def arguments(c, img):
        grid = _k._gain_grid(c, gains)
        c.values.update(row_pitch=row_pitch, col_pitch=col_pitch, plane=plane)
        return (_ptr(grid), *grid.shape, top, left, bottom, right, plane, planes, row_pitch, col_pitch,
                map_spacing_v, map_spacing_h, map_origin_v, map_origin_h)
    return _in_place("apply_gain_map_region", _k._APPLY_GAIN_MAP, part, region, out, arguments)


def apply_gain_map_cfa_region(part: np.ndarray, region: Any, gains: Any, *, top: int = 0, left: int = 0,
                              bottom: int = 0, right: int = 0, row_pitch: int = 1, col_pitch: int = 1,
                              map_spacing_v: float = 1.0, map_spacing_h: float = 1.0, map_origin_v: float = 0.0,
                              map_origin_h: float = 0.0, out: Optional[np.ndarray] = None) -> np.ndarray:
    """apply_gain_map_cfa on a part of the mosaic placed by region."""
    def arguments(c, img):
        grid = _k._gain_grid(c, gains)
        c.values.update(row_pitch=row_pitch, col_pitch=col_pitch)
        return (_ptr(grid), *grid.shape, top, left, bottom, right, row_pitch, col_pitch, map_spacing_v,
                map_spacing_h, map_origin_v, map_origin_h)
    return _in_place("apply_gain_map_cfa_region", _k._APPLY_GAIN_MAP_CFA, part, region, out, arguments)


_FLAT_REGION = _k._APPLY_FLAT_GAIN_MAP[:4] + [
    (INVALID, "region", lambda v: v["region"].full_height != 0 and v["region"].full_width != 0,
     "names a whole image without pixels")]


def apply_flat_gain_map_region(part: np.ndarray, region: Any, gains: Any, *,
                               out: Optional[np.ndarray] = None) -> np.ndarray:
    """apply_flat_gain_map on a part placed by region; the grid is stretched
    over the whole image."""
    def arguments(c, img):
        grid = c.param("gains", gains, np.float32, ndim=(2,))
        return _ptr(grid), grid.shape[0], grid.shape[1]
    return _in_place("apply_flat_gain_map_region", _FLAT_REGION, part, region, out, arguments)


_POLYNOMIAL_REGION = _k._MAP_POLYNOMIAL[:5] + [
    _whole_fits(),
    (INVALID, "plane", lambda v: v["plane"] >= 0, "cannot be negative"),
    (INVALID, "bottom", lambda v: _k._area_inside(v["top"], v["bottom"], v["region"].full_height),
     "top..bottom must lie in the whole image in order (or both be 0)"),
    (INVALID, "right", lambda v: _k._area_inside(v["left"], v["right"], v["region"].full_width),
     "left..right must lie in the whole image in order (or both be 0)"),
]


def map_polynomial_region(part: np.ndarray, region: Any, coefficients: Any, *, top: int = 0, left: int = 0,
                          bottom: int = 0, right: int = 0, plane: int = 0, planes: Optional[int] = None,
                          row_pitch: int = 1, col_pitch: int = 1, out: Optional[np.ndarray] = None) -> np.ndarray:
    """map_polynomial on a part placed by region; area and pitches are in
    whole-image rows and columns."""
    def arguments(c, img):
        coef = c.param("coefficients", coefficients, np.float32, ndim=(1,))
        p = max(img.channels - plane, 0) if planes is None else planes
        c.values.update(top=top, left=left, bottom=bottom, right=right, plane=plane, row_pitch=row_pitch,
                        col_pitch=col_pitch)
        return top, left, bottom, right, plane, p, row_pitch, col_pitch, _ptr(coef), coef.size - 1
    return _in_place("map_polynomial_region", _POLYNOMIAL_REGION, part, region, out, arguments)


def fix_vignette_region(part: np.ndarray, region: Any, coefficients: Any, *, center_x: float = 0.5,
                        center_y: float = 0.5, out: Optional[np.ndarray] = None) -> np.ndarray:
    """fix_vignette on a part placed by region; centre and radius are the
    whole image's."""
    def arguments(c, img):
        coef = c.param("coefficients", coefficients, np.float64, ndim=(1,))
        return _ptr(coef), coef.size, center_x, center_y
    return _in_place("fix_vignette_region", _k._FIX_VIGNETTE[:2], part, region, out, arguments)


def apply_profile_gain_table_map_region(part: np.ndarray, region: Any, gains: Any,
                                        weights: Any = (0, 0, 0, 0, 1), *, spacing_v: float = 1.0,
                                        spacing_h: float = 1.0, origin_v: float = 0.0, origin_h: float = 0.0,
                                        gamma: float = 1.0, exposure_gain: float = 1.0,
                                        out: Optional[np.ndarray] = None) -> np.ndarray:
    """apply_profile_gain_table_map on a part placed by region; the grid is
    placed relative to the whole image."""
    def arguments(c, img):
        g = c.param("gains", gains, np.float32, ndim=(3,))
        w = c.param("weights", weights, np.float32, size=5)
        return (_ptr(g), *g.shape, _ptr(w), spacing_v, spacing_h, origin_v, origin_h, gamma, exposure_gain)
    return _in_place("apply_profile_gain_table_map_region", _k._APPLY_PROFILE_GAIN_TABLE_MAP[:3], part, region,
                     out, arguments)


# ---- Source and destination of the same part -----------------------------------

def normalize_raw_region(part: np.ndarray, region: Any, black_levels: Any = 0.0, white_levels: Any = None, *,
                         black_delta_h: Any = None, black_delta_v: Any = None, linearization_table: Any = None,
                         out: Optional[np.ndarray] = None) -> np.ndarray:
    """normalize_raw on a part placed by region: the tile and the deltas keep
    their whole-image phase."""
    c = Call("normalize_raw_region", _k._NORMALIZE_RAW[:-1] + [_whole_fits()] + _part_checks())
    src = c.image("image", part)
    reg = _region(c, "region", region)
    params = _k._normalize_params(c, src.channels, part.dtype, black_levels, white_levels, black_delta_h,
                                  black_delta_v, linearization_table)
    dst = c.output(out, src, src.channels, np.float32)
    c.run(lib.lumra_normalize_raw_region, byref(src.desc), byref(dst.desc), byref(reg), *params)
    return dst.array


# ---- A source window around a destination part ---------------------------------

def _windowed(name: str, checks: list, reach: int, window: Any, window_region: Any, region: Any, size: Any,
              out: Optional[np.ndarray], channels: int, dtype: Any, prepare=None):
    c = Call(name, checks + _window_checks(reach))
    src = c.image("window", window)
    wreg = _region(c, "window_region", window_region)
    reg = _region(c, "region", region)
    c.values["image"] = window
    dst = _window_part(c, out, size, channels, dtype)
    _no_overlap(c, window, dst.array)
    return c, src, wreg, dst, reg


_WINDOW_DEMOSAIC = [(s, "window" if a == "image" else a, (lambda f: lambda v: f({**v, "image": v["window"]}))(ok), r)
                    for s, a, ok, r in _k._DEMOSAIC if "height" not in r and "width" not in r]


def _demosaic_region(name: str, window, window_region, region, cfa_pattern, size, out, extra=(), reach=1):
    c, src, wreg, dst, reg = _windowed(name, _WINDOW_DEMOSAIC + list(extra), reach, window, window_region, region,
                                       size, out, 3, np.float32)
    pattern = c.param("cfa_pattern", cfa_pattern, np.int32, size=4)
    c.run(getattr(lib, "lumra_" + name), byref(src.desc), byref(wreg), byref(dst.desc), byref(reg), _ptr(pattern))
    return dst.array


def bilinear_demosaic_region(window: np.ndarray, window_region: Any, region: Any,
                             cfa_pattern: Any = (0, 1, 1, 2), *, size: Optional[Sequence[int]] = None,
                             out: Optional[np.ndarray] = None) -> np.ndarray:
    """bilinear_demosaic of the part placed by region (size (height, width)
    or out=), from a float32 mosaic window placed by window_region that holds
    the part grown by one pixel on every side (limited to the whole image)."""
    return _demosaic_region("bilinear_demosaic_region", window, window_region, region, cfa_pattern, size, out)


def _is_bayer(p) -> bool:
    return set(p.tolist()) == {0, 1, 2} and (p[0] == p[3] or p[1] == p[2])


_BAYER = (UNSUPPORTED, "cfa_pattern", lambda v: _is_bayer(v["cfa_pattern"]),
          "is not a Bayer arrangement (one colour on a diagonal, the others on one site each)")


def adaptive_demosaic(image: np.ndarray, cfa_pattern: Any = (0, 1, 1, 2), *,
                      out: Optional[np.ndarray] = None) -> np.ndarray:
    """Edge-directed demosaic of a float32 Bayer mosaic (H, W) into a float32
    (H, W, 3) image: green from gradient-weighted Hamilton-Adams estimates, red
    and blue as colour differences to it. cfa_pattern as for
    bilinear_demosaic, and a Bayer arrangement."""
    c = Call("adaptive_demosaic", _k._DEMOSAIC + [_BAYER])
    src = c.image("image", image)
    pattern = c.param("cfa_pattern", cfa_pattern, np.int32, size=4)
    dst = c.output(out, src, 3, np.float32)
    c.run(lib.lumra_adaptive_demosaic, byref(src.desc), byref(dst.desc), _ptr(pattern))
    return dst.array


def adaptive_demosaic_region(window: np.ndarray, window_region: Any, region: Any,
                             cfa_pattern: Any = (0, 1, 1, 2), *, size: Optional[Sequence[int]] = None,
                             out: Optional[np.ndarray] = None) -> np.ndarray:
    """adaptive_demosaic of the part placed by region, from a window that holds
    every sample within 5 rows and columns of the part (inside the image)."""
    return _demosaic_region("adaptive_demosaic_region", window, window_region, region, cfa_pattern, size, out,
                            extra=[_BAYER], reach=5)


def fix_bad_pixels_constant_region(window: np.ndarray, window_region: Any, region: Any, bad_value: int = 0,
                                   bayer_phase: int = 0, *, size: Optional[Sequence[int]] = None,
                                   out: Optional[np.ndarray] = None) -> np.ndarray:
    """fix_bad_pixels_constant on the part placed by region, from a uint16
    window of the unrepaired mosaic that holds the part grown by two pixels on
    every side. Without out= the part starts as the window's pixels there;
    out= must hold the part's pixels already (the entry writes only repairs)."""
    checks = [(s, "window" if a == "image" else a, (lambda f: lambda v: f({**v, "image": v["window"]}))(ok), r)
              for s, a, ok, r in _k._FIX_BAD_PIXELS if "height" not in r and "width" not in r]
    c, src, wreg, dst, reg = _windowed("fix_bad_pixels_constant_region", checks, 2, window, window_region, region,
                                       size, out, 1, np.uint16)
    if not 0 <= int(bad_value) <= 65535:
        c.fail(ValueError, "bad_value", f"needs 0 to 65535, not {bad_value}")
    if out is None and _inside(dst.array.shape, c.values["region"]):
        r, w = c.values["region"], c.values["window_region"]
        y, x = r.top - w.top, r.left - w.left
        h, wd = dst.array.shape[:2]
        if 0 <= y and 0 <= x and y + h <= window.shape[0] and x + wd <= window.shape[1]:
            dst.array[...] = window[y:y + h, x:x + wd].reshape(dst.array.shape)
    c.run(lib.lumra_fix_bad_pixels_constant_region, byref(src.desc), byref(wreg), byref(dst.desc), byref(reg),
          int(bad_value), bayer_phase)
    return dst.array


def warp_rectilinear_region(window: np.ndarray, window_region: Any, region: Any, radial: Any,
                            tangential: Any = None, *, center_x: float = 0.5, center_y: float = 0.5,
                            bicubic: bool = False, size: Optional[Sequence[int]] = None,
                            out: Optional[np.ndarray] = None) -> np.ndarray:
    """warp_rectilinear into the part placed by region from a window of the
    source placed by window_region; warp_rectilinear_source_window gives the
    smallest window. Centre and radius are the whole image's."""
    checks = [(s, "window" if a == "image" else a, (lambda f: lambda v: f({**v, "image": v["window"]}))(ok), r)
              for s, a, ok, r in _k._WARP_RECTILINEAR if "height" not in r and "width" not in r and
              "bicubic" != a] + [
        (INVALID, "bicubic", lambda v: not v["bicubic"] or min(v["region"][2:]) >= 4,
         "needs a whole image of at least 4 x 4 pixels")]
    c = Call("warp_rectilinear_region", checks + _window_checks(0)[:3] + [
        (REGION, "window", lambda v: False, "does not hold every source pixel the part reads")])
    src = c.image("window", window)
    wreg = _region(c, "window_region", window_region)
    reg = _region(c, "region", region)
    c.values["image"] = window
    dst = _window_part(c, out, size, src.channels, np.float32)
    _no_overlap(c, window, dst.array)
    rad, tan = _k._warp_coefficients(c, src.channels, radial, tangential)
    c.values["bicubic"] = bool(bicubic)
    c.run(lib.lumra_warp_rectilinear_region, byref(src.desc), byref(wreg), byref(dst.desc), byref(reg), _ptr(rad),
          rad.shape[0], rad.shape[1], _ptr(tan), center_x, center_y, bicubic)
    return dst.array


def warp_rectilinear_source_window(region: Any, size: Sequence[int], channels: int, radial: Any,
                                   tangential: Any = None, *, center_x: float = 0.5, center_y: float = 0.5,
                                   bicubic: bool = False) -> Tuple[Region, Tuple[int, int]]:
    """The smallest source window that warp_rectilinear_region reads for the
    part of size (height, width) placed by region: (its Region, its (height,
    width))."""
    c = Call("warp_rectilinear_source_window", [
        (INVALID, "bicubic", lambda v: not v["bicubic"] or min(v["region"][2:]) >= 4,
         "needs a whole image of at least 4 x 4 pixels"),
        (REGION, "region", lambda v: _inside(v["size"], v["region"]), "places the part outside the whole image")])
    reg = _region(c, "region", region)
    h, w = (int(x) for x in size)
    c.values.update(size=(h, w), bicubic=bool(bicubic))
    rad, tan = _k._warp_coefficients(c, channels, radial, tangential)
    window, wh, ww = LumraRegion(), c_uint64(), c_uint64()
    c.run(lib.lumra_warp_rectilinear_source_window, byref(reg), h, w, channels, _ptr(rad), rad.shape[0],
          rad.shape[1], _ptr(tan), center_x, center_y, bicubic, byref(window), byref(wh), byref(ww))
    return (Region(window.top, window.left, window.full_height, window.full_width), (wh.value, ww.value))


# Only the entries the loaded library has.
ENTRIES = [name for name in [
    "apply_gain_map_region", "apply_gain_map_cfa_region", "apply_flat_gain_map_region", "map_polynomial_region",
    "fix_vignette_region", "apply_profile_gain_table_map_region", "normalize_raw_region",
    "bilinear_demosaic_region", "adaptive_demosaic", "adaptive_demosaic_region", "fix_bad_pixels_constant_region",
    "warp_rectilinear_region", "warp_rectilinear_source_window",
] if hasattr(lib, "lumra_" + name)]

__all__ = ["Region"] + ENTRIES
