"""One function per liblumra entry, on numpy arrays.

Conventions shared by every function:

* Images are numpy arrays of shape (H, W) (one channel) or (H, W, C), of
  uint8, uint16 or float32, C-contiguous and aligned. Any other array is
  refused with ValueError (layout) or TypeError (element type); nothing is
  copied behind the caller's back, so out= and in-place calls always write the
  caller's memory. Parameter arguments (curves, matrices, tables) may be any
  sequence; they are converted to the C element type.
* Entries with a source and a destination return a new array unless out= is
  given, in which case they fill out and return it. Entries that change their
  image in place do so and return it; with out= they change a copy in out and
  leave the image alone (out then holds that copy even if the call is refused).
* A refused call raises ValueError (invalid argument, size mismatch, region)
  or TypeError (unsupported element type), naming the entry and the first
  argument that fails in the entry's check order. Nothing is written then.
* The GIL is released while the library runs, so calls on different threads
  run in parallel.
"""
from __future__ import annotations

import ctypes
from ctypes import POINTER, byref, c_bool, c_double, c_float, c_int32, c_uint16, c_uint64, c_void_p
from typing import Any, Optional, Sequence, Tuple, Union

import numpy as np

from ._native import INVALID, MISMATCH, UNSUPPORTED, Call, LumraImage, declare

ArrayLike = Union[np.ndarray, Sequence[Any], float]
DTypeLike = Any
_IMG = POINTER(LumraImage)
_F = c_void_p  # parameter arrays go by their data address
_D = c_void_p
_I = c_void_p


def _ptr(array: Optional[np.ndarray]) -> Optional[int]:
    return None if array is None else array.ctypes.data


def _ch(a: np.ndarray) -> int:
    return a.shape[2] if a.ndim == 3 else 1


def _size(a: Optional[np.ndarray]) -> int:
    return 0 if a is None else int(a.size)


# Check helpers: predicates over the call's arguments by name.
def _channels(name: str, *allowed: int):
    return lambda v: _ch(v[name]) in allowed


def _float(name: str):
    return lambda v: v[name].dtype == np.float32


def _same_hw(v) -> bool:
    return v["image"].shape[:2] == v["out"].shape[:2]


_SIZE = (INVALID, "out", _same_hw, "needs the image's height and width")


# ---- Frame -------------------------------------------------------------------

_convert_dtype = declare("convert_dtype", c_int32, _IMG, _IMG, c_int32, c_int32, c_float)
_CONVERT_DTYPE = [(INVALID, "out", lambda v: v["image"].shape == v["out"].shape, "needs the image's shape")]


def convert_dtype(image: np.ndarray, dtype: DTypeLike = np.float32, *, in_bits: int = 0, out_bits: int = 0,
                  ceiling: float = -1.0, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Rescales every element to another type and bit depth.

    bits <= 0 means the type's full width (float: full scale 1.0). A ceiling
    >= 0 caps float results; an integer result is capped when 0 <= ceiling is
    below the destination's full scale. Integer results are truncated toward
    zero and saturated; NaN stores 0. The result has dtype (or out's type).
    """
    c = Call("convert_dtype", _CONVERT_DTYPE)
    src = c.image("image", image)
    dst = c.output(out, src, src.channels, dtype)
    c.run(_convert_dtype, byref(src.desc), byref(dst.desc), in_bits, out_bits, ceiling)
    return dst.array


# ---- Colour ------------------------------------------------------------------

_BITS = [
    (UNSUPPORTED, "in_bits", lambda v: not (v["image"].dtype != np.float32 and v["in_bits"] >= 32),
     "integer sources take at most 31 bits"),
    (UNSUPPORTED, "out_bits", lambda v: not (v["out"].dtype != np.float32 and v["out_bits"] >= 32),
     "integer destinations take at most 31 bits"),
]

_mono_lut = declare("mono_lut", c_int32, _IMG, _IMG, _F, c_uint64, c_int32, c_int32)
_MONO_LUT = [
    (INVALID, "lut", lambda v: v["lut"].size >= 2, "needs at least 2 entries"),
    _SIZE,
    (INVALID, "image", _channels("image", 1), "needs one channel"),
    (INVALID, "out", _channels("out", 1), "needs one channel"),
] + _BITS


def mono_lut(image: np.ndarray, lut: ArrayLike, *, in_bits: int = 0, out_bits: int = 0,
             dtype: Optional[DTypeLike] = None, out: Optional[np.ndarray] = None) -> np.ndarray:
    """One tone curve (lut, at least 2 floats) on a one-channel image, with type
    conversion (dtype defaults to the image's). 8-bit input with a 256-entry
    curve indexes the curve directly."""
    c = Call("mono_lut", _MONO_LUT)
    src = c.image("image", image)
    table = c.param("lut", lut, np.float32, ndim=(1,))
    dst = c.output(out, src, 1, image.dtype if dtype is None else dtype)
    c.values.update(in_bits=in_bits, out_bits=out_bits)
    c.run(_mono_lut, byref(src.desc), byref(dst.desc), _ptr(table), table.size, in_bits, out_bits)
    return dst.array


_transform_color = declare("transform_color", c_int32, _IMG, _IMG, _F, c_uint64, _F, _F, c_uint64, c_int32,
                           c_int32, c_bool)
_TRANSFORM_COLOR = [
    _SIZE,
    (INVALID, "image", _channels("image", 3), "needs 3 channels"),
    (INVALID, "out", _channels("out", 3), "needs 3 channels"),
    (INVALID, "curve1", lambda v: any(v[k] is not None for k in ("curve1", "matrix", "curve2")),
     "curve1, matrix and curve2 cannot all be None"),
    (INVALID, "curve1", lambda v: v["curve1"] is None or v["curve1"].size >= 1, "needs at least one entry"),
    (INVALID, "curve2", lambda v: v["curve2"] is None or v["curve2"].size >= 1, "needs at least one entry"),
] + _BITS + [
    (INVALID, "hue_preserving", lambda v: not v["hue_preserving"] or (
        v["curve1"] is not None and v["image"].dtype == np.float32 and
        (v["matrix"] is not None or v["out"].dtype == np.float32)),
     "needs curve1, a float32 image, and a matrix unless out is float32"),
]


def transform_color(image: np.ndarray, curve1: Optional[ArrayLike] = None, matrix: Optional[ArrayLike] = None,
                    curve2: Optional[ArrayLike] = None, *, in_bits: int = 0, out_bits: int = 0,
                    hue_preserving: bool = False, dtype: Optional[DTypeLike] = None,
                    out: Optional[np.ndarray] = None) -> np.ndarray:
    """Three-channel colour transform: tone curve curve1, a 3x3 matrix
    (row-major, 9 values), tone curve curve2; any may be None, not all. Any
    pair of uint8, uint16 and float32 (dtype defaults to the image's).
    hue_preserving applies curve1 to the largest and smallest channel and keeps
    the middle one in proportion (float32 input only)."""
    c = Call("transform_color", _TRANSFORM_COLOR)
    src = c.image("image", image)
    lut1 = c.param("curve1", curve1, np.float32, optional=True, ndim=(1,))
    m = c.param("matrix", matrix, np.float32, size=9, optional=True)
    lut2 = c.param("curve2", curve2, np.float32, optional=True, ndim=(1,))
    dst = c.output(out, src, 3, image.dtype if dtype is None else dtype)
    c.values.update(in_bits=in_bits, out_bits=out_bits, hue_preserving=bool(hue_preserving))
    c.run(_transform_color, byref(src.desc), byref(dst.desc), _ptr(lut1), _size(lut1), _ptr(m), _ptr(lut2),
          _size(lut2), in_bits, out_bits, hue_preserving)
    return dst.array


_clip_and_transform_color = declare("clip_and_transform_color", c_int32, _IMG, _IMG, _F, _F)
_CLIP_AND_TRANSFORM_COLOR = [
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (UNSUPPORTED, "out", _float("out"), "needs float32"),
    _SIZE,
    (INVALID, "image", _channels("image", 3), "needs 3 channels"),
    (INVALID, "out", _channels("out", 3), "needs 3 channels"),
]


def clip_and_transform_color(image: np.ndarray, clip_max: ArrayLike, matrix: ArrayLike, *,
                             out: Optional[np.ndarray] = None) -> np.ndarray:
    """Float RGB: each channel limited from above by clip_max (3 values), then
    the 3x3 matrix (9 values, row-major), then clamped to [0, 1]."""
    c = Call("clip_and_transform_color", _CLIP_AND_TRANSFORM_COLOR)
    src = c.image("image", image)
    clip = c.param("clip_max", clip_max, np.float32, size=3)
    m = c.param("matrix", matrix, np.float32, size=9)
    dst = c.output(out, src, 3, np.float32)
    c.run(_clip_and_transform_color, byref(src.desc), byref(dst.desc), _ptr(clip), _ptr(m))
    return dst.array


# ---- Raw preparation ---------------------------------------------------------

_normalize_raw = declare("normalize_raw", c_int32, _IMG, _IMG, _F, c_int32, c_int32, c_int32, _F, c_int32, _F,
                         c_int32, _F, c_int32, c_void_p, c_int32)
_NORMALIZE_RAW = [
    _SIZE,
    (UNSUPPORTED, "image", lambda v: v["image"].dtype in (np.uint16, np.float32), "needs uint16 or float32"),
    (UNSUPPORTED, "out", _float("out"), "needs float32"),
    (INVALID, "out", lambda v: _ch(v["out"]) == _ch(v["image"]), "needs the image's channel count"),
    (INVALID, "black_levels", lambda v: v["black_levels"].size >= 1, "needs at least one value"),
    (INVALID, "white_levels", lambda v: v["white_levels"].size >= 1, "needs at least one value"),
    (INVALID, "image", lambda v: max(v["image"].shape[:2]) < 2**31, "is too large"),
]


def normalize_raw(image: np.ndarray, black_levels: ArrayLike = 0.0, white_levels: Optional[ArrayLike] = None, *,
                  black_delta_h: Optional[ArrayLike] = None, black_delta_v: Optional[ArrayLike] = None,
                  linearization_table: Optional[ArrayLike] = None,
                  out: Optional[np.ndarray] = None) -> np.ndarray:
    """Sensor values (uint16 or float32) to float32 in [0, 1].

    black_levels is the repeating black tile: a scalar, or shape (rows, cols)
    or (rows, cols, channels). white_levels holds one value per channel
    (repeating; default 65535 for uint16, 1.0 for float32). black_delta_h
    (per column) and black_delta_v (per row) repeat too. linearization_table
    (uint16 values) maps stored values first.
    """
    c = Call("normalize_raw", _NORMALIZE_RAW)
    src = c.image("image", image)
    params = _normalize_params(c, src.channels, image.dtype, black_levels, white_levels, black_delta_h,
                               black_delta_v, linearization_table)
    dst = c.output(out, src, src.channels, np.float32)
    c.run(_normalize_raw, byref(src.desc), byref(dst.desc), *params)
    return dst.array


def _normalize_params(c: Call, spp: int, dtype: Any, black_levels: ArrayLike, white_levels: Optional[ArrayLike],
                      black_delta_h: Optional[ArrayLike], black_delta_v: Optional[ArrayLike],
                      linearization_table: Optional[ArrayLike]) -> tuple:
    """The C arguments after the descriptors, from the tables' shapes."""
    if np.ndim(black_levels) == 0:
        black_levels = np.full(spp, black_levels, np.float32)
    black = c.param("black_levels", black_levels, np.float32, ndim=(1, 2, 3))
    rows, cols = (1, 1) if black.ndim == 1 else black.shape[:2]
    if black.size != rows * cols * spp:
        c.fail(ValueError, "black_levels", f"a {rows} x {cols} tile needs {rows * cols * spp} values "
                                           f"for {spp} channel(s), not {black.size}")
    if white_levels is None:
        white_levels = 65535.0 if dtype == np.uint16 else 1.0
    white = c.param("white_levels", np.atleast_1d(white_levels), np.float32, ndim=(1,))
    dh = c.param("black_delta_h", black_delta_h, np.float32, optional=True, ndim=(1,))
    dv = c.param("black_delta_v", black_delta_v, np.float32, optional=True, ndim=(1,))
    table = c.param("linearization_table", linearization_table, np.uint16, optional=True, ndim=(1,))
    return (_ptr(black), rows, cols, spp, _ptr(white), white.size, _ptr(dh), _size(dh), _ptr(dv), _size(dv),
            _ptr(table), _size(table))


_DEMOSAIC = [
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (INVALID, "image", _channels("image", 1), "needs one channel"),
    (UNSUPPORTED, "out", _float("out"), "needs float32"),
    (INVALID, "out", _channels("out", 3), "needs 3 channels"),
    (MISMATCH, "out", lambda v: v["out"].shape[0] == v["image"].shape[0], "needs the image's height"),
    (MISMATCH, "out", lambda v: v["out"].shape[1] == v["image"].shape[1], "needs the image's width"),
    (INVALID, "cfa_pattern", lambda v: all(0 <= int(x) <= 2 for x in v["cfa_pattern"]), "holds colours 0, 1 or 2"),
]
_bilinear_demosaic = declare("bilinear_demosaic", c_int32, _IMG, _IMG, _I)
_vng_demosaic = declare("vng_demosaic", c_int32, _IMG, _IMG, _I)


def bilinear_demosaic(image: np.ndarray, cfa_pattern: ArrayLike = (0, 1, 1, 2), *,
                      out: Optional[np.ndarray] = None) -> np.ndarray:
    """One-channel float32 mosaic (H, W) to a float32 (H, W, 3) image.
    cfa_pattern holds the colours (0, 1, 2) of the 2x2 tile sites (0,0),
    (0,1), (1,0), (1,1); the default is RGGB."""
    c = Call("bilinear_demosaic", _DEMOSAIC)
    src = c.image("image", image)
    pattern = c.param("cfa_pattern", cfa_pattern, np.int32, size=4)
    dst = c.output(out, src, 3, np.float32)
    c.run(_bilinear_demosaic, byref(src.desc), byref(dst.desc), _ptr(pattern))
    return dst.array


def vng_demosaic(image: np.ndarray, cfa_pattern: ArrayLike = (0, 1, 1, 2), *,
                 out: Optional[np.ndarray] = None) -> np.ndarray:
    """Not implemented by the library: always raises NotImplementedError."""
    c = Call("vng_demosaic", [])
    src = c.image("image", image)
    pattern = c.param("cfa_pattern", cfa_pattern, np.int32, size=4)
    dst = c.output(out, src, 3, np.float32)
    c.run(_vng_demosaic, byref(src.desc), byref(dst.desc), _ptr(pattern))
    return dst.array


_fix_bad_pixels_constant = declare("fix_bad_pixels_constant", c_int32, _IMG, _IMG, c_uint16, c_int32)
_FIX_BAD_PIXELS = [
    (UNSUPPORTED, "image", lambda v: v["image"].dtype == np.uint16, "needs uint16"),
    (UNSUPPORTED, "out", lambda v: v["out"].dtype == np.uint16, "needs uint16"),
    (INVALID, "image", _channels("image", 1), "needs one channel"),
    (INVALID, "out", _channels("out", 1), "needs one channel"),
    (MISMATCH, "out", lambda v: v["out"].shape[0] == v["image"].shape[0], "needs the image's height"),
    (MISMATCH, "out", lambda v: v["out"].shape[1] == v["image"].shape[1], "needs the image's width"),
]


def fix_bad_pixels_constant(image: np.ndarray, bad_value: int = 0, bayer_phase: int = 0, *,
                            out: Optional[np.ndarray] = None) -> np.ndarray:
    """Replaces each uint16 mosaic site equal to bad_value by the mean (rounded
    half up) of its good same-colour neighbours. bayer_phase is this library's
    numbering (phases 0 and 3: green on even row + column); a DNG opcode's
    BayerPhase XOR 1. out may be the image itself (in place)."""
    c = Call("fix_bad_pixels_constant", _FIX_BAD_PIXELS)
    src = c.image("image", image)
    if not 0 <= int(bad_value) <= 65535:
        c.fail(ValueError, "bad_value", f"needs 0 to 65535, not {bad_value}")
    dst = c.output(out, src, 1, np.uint16, in_place=True)
    # The library writes only the repaired sites: the rest of a separate
    # destination starts as a copy of the image.
    if dst.array is not image and src.channels == 1 and dst.array.shape == image.shape and dst.array.dtype == image.dtype:
        np.copyto(dst.array, image)
    c.run(_fix_bad_pixels_constant, byref(src.desc), byref(dst.desc), int(bad_value), bayer_phase)
    return dst.array


# ---- Lens and sensor corrections ---------------------------------------------

def _gain_map_checks(channels: int) -> list:
    return [
        (INVALID, "gains", lambda v: min(v["gains"].shape) > 0, "needs at least one point and plane"),
        (UNSUPPORTED, "image", _float("image"), "needs float32"),
        (INVALID, "image", _channels("image", channels), f"needs {channels} channel(s)"),
        (INVALID, "row_pitch", lambda v: v["row_pitch"] >= 1, "needs at least 1"),
        (INVALID, "col_pitch", lambda v: v["col_pitch"] != 0, "cannot be 0"),
        (INVALID, "plane", lambda v: v["plane"] >= 0, "cannot be negative"),
    ]


def _gain_grid(c: Call, gains: ArrayLike) -> np.ndarray:
    grid = c.param("gains", gains, np.float32, ndim=(2, 3))
    return grid if grid.ndim == 3 else grid.reshape(grid.shape + (1,))


_apply_gain_map = declare("apply_gain_map", c_int32, _IMG, _F, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32,
                          c_int32, c_int32, c_int32, c_int32, c_int32, c_double, c_double, c_double, c_double)
_APPLY_GAIN_MAP = _gain_map_checks(3)


def apply_gain_map(image: np.ndarray, gains: ArrayLike, *, top: int = 0, left: int = 0, bottom: int = 0,
                   right: int = 0, plane: int = 0, planes: int = 3, row_pitch: int = 1, col_pitch: int = 1,
                   map_spacing_v: float = 1.0, map_spacing_h: float = 1.0, map_origin_v: float = 0.0,
                   map_origin_h: float = 0.0, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Multiplies a gain grid (gains of shape (points_v, points_h) or
    (points_v, points_h, map_planes)), placed in image-relative coordinates by
    spacing and origin, into an area (bottom/right <= 0: the image edge),
    channel range and row/column lattice of a float32 (H, W, 3) image, in
    place; results are clamped to [0, 1]."""
    c = Call("apply_gain_map", _APPLY_GAIN_MAP)
    img = c.in_place(image, out)
    grid = _gain_grid(c, gains)
    c.values.update(row_pitch=row_pitch, col_pitch=col_pitch, plane=plane)
    v, h, p = grid.shape
    c.run(_apply_gain_map, byref(img.desc), _ptr(grid), v, h, p, top, left, bottom, right, plane, planes, row_pitch,
          col_pitch, map_spacing_v, map_spacing_h, map_origin_v, map_origin_h)
    return img.array


_apply_gain_map_cfa = declare("apply_gain_map_cfa", c_int32, _IMG, _F, c_int32, c_int32, c_int32, c_int32, c_int32,
                              c_int32, c_int32, c_int32, c_int32, c_double, c_double, c_double, c_double)
_APPLY_GAIN_MAP_CFA = _gain_map_checks(1)[:-1]


def apply_gain_map_cfa(image: np.ndarray, gains: ArrayLike, *, top: int = 0, left: int = 0, bottom: int = 0,
                       right: int = 0, row_pitch: int = 1, col_pitch: int = 1, map_spacing_v: float = 1.0,
                       map_spacing_h: float = 1.0, map_origin_v: float = 0.0, map_origin_h: float = 0.0,
                       out: Optional[np.ndarray] = None) -> np.ndarray:
    """The gain map on a one-channel float32 mosaic, in place; reads map plane 0."""
    c = Call("apply_gain_map_cfa", _APPLY_GAIN_MAP_CFA)
    img = c.in_place(image, out)
    grid = _gain_grid(c, gains)
    c.values.update(row_pitch=row_pitch, col_pitch=col_pitch)
    v, h, p = grid.shape
    c.run(_apply_gain_map_cfa, byref(img.desc), _ptr(grid), v, h, p, top, left, bottom, right, row_pitch, col_pitch,
          map_spacing_v, map_spacing_h, map_origin_v, map_origin_h)
    return img.array


_apply_flat_gain_map = declare("apply_flat_gain_map", c_int32, _IMG, _F, c_int32, c_int32)
_APPLY_FLAT_GAIN_MAP = [
    (INVALID, "gains", lambda v: v["gains"].shape[1] >= 2, "needs at least 2 columns"),
    (INVALID, "gains", lambda v: v["gains"].shape[0] >= 2, "needs at least 2 rows"),
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (INVALID, "image", _channels("image", 1), "needs one channel"),
    (INVALID, "image", lambda v: v["image"].shape[0] != 0, "has no rows"),
    (INVALID, "image", lambda v: v["image"].shape[1] != 0, "has no columns"),
]


def apply_flat_gain_map(image: np.ndarray, gains: ArrayLike, *, out: Optional[np.ndarray] = None) -> np.ndarray:
    """A (rows, cols) gain grid (both >= 2) stretched over a one-channel
    float32 image, extrapolated in its last interval, in place; no clamp."""
    c = Call("apply_flat_gain_map", _APPLY_FLAT_GAIN_MAP)
    img = c.in_place(image, out)
    grid = c.param("gains", gains, np.float32, ndim=(2,))
    c.run(_apply_flat_gain_map, byref(img.desc), _ptr(grid), grid.shape[0], grid.shape[1])
    return img.array


def _area_inside(first: int, last: int, extent: int) -> bool:
    return (first == 0 and last == 0) or (0 <= first <= last <= extent)


_map_polynomial = declare("map_polynomial", c_int32, _IMG, c_int32, c_int32, c_int32, c_int32, c_int32, c_int32,
                          c_int32, c_int32, _F, c_int32)
_MAP_POLYNOMIAL = [
    (INVALID, "coefficients", lambda v: v["coefficients"].size >= 1, "needs at least one value"),
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (INVALID, "image", _channels("image", 1, 3), "needs 1 or 3 channels"),
    (INVALID, "row_pitch", lambda v: v["row_pitch"] > 0, "needs at least 1"),
    (INVALID, "col_pitch", lambda v: v["col_pitch"] > 0, "needs at least 1"),
    (INVALID, "image", lambda v: max(v["image"].shape[:2]) < 2**31, "is too large"),
    (INVALID, "plane", lambda v: v["plane"] >= 0, "cannot be negative"),
    (INVALID, "bottom", lambda v: _area_inside(v["top"], v["bottom"], v["image"].shape[0]),
     "top..bottom must lie in the image in order (or both be 0)"),
    (INVALID, "right", lambda v: _area_inside(v["left"], v["right"], v["image"].shape[1]),
     "left..right must lie in the image in order (or both be 0)"),
]


def map_polynomial(image: np.ndarray, coefficients: ArrayLike, *, top: int = 0, left: int = 0, bottom: int = 0,
                   right: int = 0, plane: int = 0, planes: Optional[int] = None, row_pitch: int = 1,
                   col_pitch: int = 1, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Each selected sample x of a float32 image becomes c0 + sign(x) * (c1 |x|
    + ... + cN |x|^N), clamped to [-1, 1], in place. coefficients holds degree
    + 1 values. top = bottom = 0 (left = right = 0) selects every row
    (column); planes defaults to every channel from plane."""
    c = Call("map_polynomial", _MAP_POLYNOMIAL)
    img = c.in_place(image, out)
    coef = c.param("coefficients", coefficients, np.float32, ndim=(1,))
    if planes is None:
        planes = max(img.channels - plane, 0)
    c.values.update(top=top, left=left, bottom=bottom, right=right, plane=plane, row_pitch=row_pitch,
                    col_pitch=col_pitch)
    c.run(_map_polynomial, byref(img.desc), top, left, bottom, right, plane, planes, row_pitch, col_pitch,
          _ptr(coef), coef.size - 1)
    return img.array


_fix_vignette = declare("fix_vignette", c_int32, _IMG, _D, c_int32, c_double, c_double)
_FIX_VIGNETTE = [
    (INVALID, "coefficients", lambda v: v["coefficients"].size >= 1, "needs at least one value"),
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (INVALID, "image", lambda v: max(v["image"].shape[:2]) < 2**31, "is too large"),
]


def fix_vignette(image: np.ndarray, coefficients: ArrayLike, *, center_x: float = 0.5, center_y: float = 0.5,
                 out: Optional[np.ndarray] = None) -> np.ndarray:
    """Radial gain 1 + k0 r^2 + ... + k4 r^10 around (center_x * width,
    center_y * height), the farthest corner at r = 1, on a float32 image in
    place; results clamped to [0, 1]."""
    c = Call("fix_vignette", _FIX_VIGNETTE)
    img = c.in_place(image, out)
    coef = c.param("coefficients", coefficients, np.float64, ndim=(1,))
    c.run(_fix_vignette, byref(img.desc), _ptr(coef), coef.size, center_x, center_y)
    return img.array


_warp_rectilinear = declare("warp_rectilinear", c_int32, _IMG, _IMG, _D, c_int32, c_int32, _D, c_double, c_double,
                            c_bool)
_WARP_RECTILINEAR = [
    (INVALID, "radial", lambda v: v["radial"].shape[-1] > 0, "needs at least one coefficient per plane"),
    (INVALID, "radial", lambda v: v["radial"].shape[0] > 0, "needs at least one plane"),
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (UNSUPPORTED, "out", _float("out"), "needs float32"),
    (MISMATCH, "out", lambda v: v["out"].shape[0] == v["image"].shape[0], "needs the image's height"),
    (MISMATCH, "out", lambda v: v["out"].shape[1] == v["image"].shape[1], "needs the image's width"),
    (MISMATCH, "out", lambda v: _ch(v["out"]) == _ch(v["image"]), "needs the image's channel count"),
    (INVALID, "bicubic", lambda v: not v["bicubic"] or min(v["image"].shape[:2]) >= 4,
     "needs an image of at least 4 x 4 pixels"),
]


def warp_rectilinear(image: np.ndarray, radial: ArrayLike, tangential: Optional[ArrayLike] = None, *,
                     center_x: float = 0.5, center_y: float = 0.5, bicubic: bool = False,
                     out: Optional[np.ndarray] = None) -> np.ndarray:
    """Radial and tangential lens-distortion correction of a float32 image with
    bilinear or bicubic (at least 4 x 4 pixels) resampling. radial has shape
    (count,) for one plane or (planes, count); tangential (may be None) has
    shape (2,) or (planes, 2). One set of coefficients serves every channel;
    with fewer sets than channels, the remaining channels of a new result are
    the image's (of out=, untouched)."""
    c = Call("warp_rectilinear", _WARP_RECTILINEAR)
    src = c.image("image", image)
    rad, tan = _warp_coefficients(c, src.channels, radial, tangential)
    dst = c.output(out, src, src.channels, np.float32)
    if out is None and rad.shape[0] < src.channels:
        np.copyto(dst.array, image)  # planes without coefficients keep the image's values
    c.values["bicubic"] = bool(bicubic)
    c.run(_warp_rectilinear, byref(src.desc), byref(dst.desc), _ptr(rad), rad.shape[0], rad.shape[1], _ptr(tan),
          center_x, center_y, bicubic)
    return dst.array


def _warp_coefficients(c: Call, channels: int, radial: ArrayLike,
                       tangential: Optional[ArrayLike]) -> Tuple[np.ndarray, Optional[np.ndarray]]:
    """(planes, count) radial and (planes, 2) tangential coefficients; one
    set serves every channel."""
    rad = c.param("radial", radial, np.float64, ndim=(1, 2))
    rad = rad.reshape((1, rad.size)) if rad.ndim == 1 else rad
    c.values["radial"] = rad
    tan = c.param("tangential", tangential, np.float64, optional=True, ndim=(1, 2))
    if tan is not None and tan.size != 2 * rad.shape[0]:
        c.fail(ValueError, "tangential", f"needs 2 values for each of the {rad.shape[0]} plane(s), not {tan.size}")
    if rad.shape[0] == 1 and channels > 1:
        rad = np.ascontiguousarray(np.repeat(rad, channels, axis=0))
        tan = None if tan is None else np.ascontiguousarray(np.tile(tan.reshape(1, 2), (channels, 1)))
        c.values["radial"] = rad
    return rad, tan


# ---- Profile adjustments -----------------------------------------------------

_apply_hue_sat_map = declare("apply_hue_sat_map", c_int32, _IMG, _F, c_int32, c_int32, c_int32)
_APPLY_HUE_SAT_MAP = [
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (INVALID, "image", _channels("image", 3), "needs 3 channels"),
    (INVALID, "table", lambda v: min(v["table"].shape[-3:-1]) > 0, "needs hue and saturation divisions"),
    (INVALID, "image", lambda v: max(v["image"].shape[:2]) < 2**31, "is too large"),
    (INVALID, "table", lambda v: v["table"].shape[-2] != 1, "needs at least 2 saturation divisions"),
]


def apply_hue_sat_map(image: np.ndarray, table: ArrayLike, *, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Hue/saturation/value table on a float32 (H, W, 3) image in place. table
    has shape (hue, sat, 3) or (val, hue, sat, 3): per entry a hue shift in
    degrees, a saturation scale and a value scale. At least 2 saturation
    divisions."""
    c = Call("apply_hue_sat_map", _APPLY_HUE_SAT_MAP)
    img = c.in_place(image, out)
    t = c.param("table", table, np.float32, ndim=(3, 4))
    if t.shape[-1] != 3:
        c.fail(ValueError, "table", f"needs 3 values per entry, not shape {t.shape}")
    val = t.shape[0] if t.ndim == 4 else 1
    c.run(_apply_hue_sat_map, byref(img.desc), _ptr(t), t.shape[-3], t.shape[-2], val)
    return img.array


_apply_exposure_ramp = declare("apply_exposure_ramp", c_int32, _IMG, _IMG, c_double, c_double, c_double, c_bool)
_APPLY_EXPOSURE_RAMP = [
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (UNSUPPORTED, "out", _float("out"), "needs float32"),
    (INVALID, "image", _channels("image", 3), "needs 3 channels"),
    (INVALID, "out", _channels("out", 3), "needs 3 channels"),
    _SIZE,
    (INVALID, "image", lambda v: max(v["image"].shape[:2]) < 2**31, "is too large"),
]


def apply_exposure_ramp(image: np.ndarray, white_level: float, black_level: float = 0.0, ramp_width: float = 0.0,
                        *, allow_overrange: bool = False, out: Optional[np.ndarray] = None) -> np.ndarray:
    """Black-to-white ramp on a float32 (H, W, 3) image with a quadratic toe of
    half-width min(ramp_width / 2, (white - black) / 16) around the black
    level. out may be the image itself (in place)."""
    c = Call("apply_exposure_ramp", _APPLY_EXPOSURE_RAMP)
    src = c.image("image", image)
    dst = c.output(out, src, 3, np.float32, in_place=True)
    c.run(_apply_exposure_ramp, byref(src.desc), byref(dst.desc), white_level, black_level, ramp_width,
          allow_overrange)
    return dst.array


_apply_profile_gain_table_map = declare("apply_profile_gain_table_map", c_int32, _IMG, _F, c_int32, c_int32,
                                        c_int32, _F, c_float, c_float, c_float, c_float, c_float, c_float)
_APPLY_PROFILE_GAIN_TABLE_MAP = [
    (UNSUPPORTED, "image", _float("image"), "needs float32"),
    (INVALID, "image", _channels("image", 3), "needs 3 channels"),
    (INVALID, "gains", lambda v: min(v["gains"].shape) > 0, "needs at least one point and one entry"),
    (INVALID, "image", lambda v: max(v["image"].shape[:2]) < 2**31, "is too large"),
]


def apply_profile_gain_table_map(image: np.ndarray, gains: ArrayLike, weights: ArrayLike = (0, 0, 0, 0, 1), *,
                                 spacing_v: float = 1.0, spacing_h: float = 1.0, origin_v: float = 0.0,
                                 origin_h: float = 0.0, gamma: float = 1.0, exposure_gain: float = 1.0,
                                 out: Optional[np.ndarray] = None) -> np.ndarray:
    """Spatially varying gain tables on a float32 (H, W, 3) image in place.
    gains has shape (points_v, points_h, points_n); the table input is
    (w0 R + w1 G + w2 B + w3 min + w4 max) * exposure_gain with the 5 weights,
    clamped to [0, 1] and raised to gamma."""
    c = Call("apply_profile_gain_table_map", _APPLY_PROFILE_GAIN_TABLE_MAP)
    img = c.in_place(image, out)
    g = c.param("gains", gains, np.float32, ndim=(3,))
    w = c.param("weights", weights, np.float32, size=5)
    c.run(_apply_profile_gain_table_map, byref(img.desc), _ptr(g), g.shape[0], g.shape[1], g.shape[2], _ptr(w),
          spacing_v, spacing_h, origin_v, origin_h, gamma, exposure_gain)
    return img.array


ENTRIES = [
    "convert_dtype", "mono_lut", "transform_color", "clip_and_transform_color", "normalize_raw",
    "bilinear_demosaic", "vng_demosaic", "fix_bad_pixels_constant", "apply_gain_map", "apply_gain_map_cfa",
    "apply_flat_gain_map", "map_polynomial", "fix_vignette", "warp_rectilinear", "apply_hue_sat_map",
    "apply_exposure_ramp", "apply_profile_gain_table_map",
]
