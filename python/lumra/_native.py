"""Loading of liblumra and liblumra-develop, and the machinery every entry shares.

The libraries are reached through ctypes: each foreign call releases the GIL,
arrays are passed by their data pointer (no copy), and nothing needs compiling.
"""
from __future__ import annotations

import ctypes
import os
from typing import Any, Callable, Iterable, Optional, Sequence

import numpy as np

OK, INVALID, UNSUPPORTED, MISMATCH, REGION = 0, 1, 2, 3, 4
STATUS_NAMES = {
    INVALID: "LUMRA_ERR_INVALID_ARGUMENT",
    UNSUPPORTED: "LUMRA_ERR_UNSUPPORTED",
    MISMATCH: "LUMRA_ERR_DIMENSION_MISMATCH",
    REGION: "LUMRA_ERR_REGION",
}
DTYPE_CODES = {np.dtype(np.uint8): 0, np.dtype(np.uint16): 1, np.dtype(np.float32): 3}
DTYPES = {0: np.uint8, 1: np.uint16, 3: np.float32}


class LumraImage(ctypes.Structure):
    _fields_ = [
        ("data", ctypes.c_void_p),
        ("height", ctypes.c_uint64),
        ("width", ctypes.c_uint64),
        ("channels", ctypes.c_uint64),
        ("dtype", ctypes.c_int32),
        ("reserved", ctypes.c_uint64),
    ]


class LumraRegion(ctypes.Structure):
    _fields_ = [
        ("top", ctypes.c_uint64),
        ("left", ctypes.c_uint64),
        ("full_height", ctypes.c_uint64),
        ("full_width", ctypes.c_uint64),
        ("reserved", ctypes.c_uint64),
    ]


def _library_paths(env: str, name: str) -> list:
    """Where to look for a library: an explicit path, the install's own
    folder, then the system loader's search."""
    paths = []
    if os.environ.get(env):
        paths.append(os.environ[env])
    try:
        from . import _config  # written by the CMake install
        paths.append(os.path.join(_config.LIBRARY_DIR, name))
    except ImportError:
        pass
    paths.append(name)
    return paths


def _load(env: str, name: str) -> ctypes.CDLL:
    errors = []
    for path in _library_paths(env, name):
        try:
            return ctypes.CDLL(path)
        except OSError as error:
            errors.append(str(error))
    raise ImportError(f"lumra: cannot load {name}: " + "; ".join(errors))


lib = _load("LUMRA_LIBRARY", "liblumra.so.1")
lib.lumra_version.restype = ctypes.c_char_p
lib.lumra_version.argtypes = []

_develop_lib: Optional[ctypes.CDLL] = None


def develop_lib() -> ctypes.CDLL:
    """liblumra-develop, loaded on first use (liblumra is loaded already, so
    the loader reuses it for the develop library's dependency)."""
    global _develop_lib
    if _develop_lib is None:
        _develop_lib = _load("LUMRA_DEVELOP_LIBRARY", "liblumra-develop.so.1")
    return _develop_lib


# ---- arguments ---------------------------------------------------------------

class Image:
    """An array handed to the library: its descriptor and the array itself."""

    __slots__ = ("array", "desc")

    def __init__(self, array: np.ndarray, desc: LumraImage):
        self.array = array
        self.desc = desc

    @property
    def channels(self) -> int:
        return int(self.desc.channels)


def describe(array: np.ndarray) -> LumraImage:
    shape = array.shape
    return LumraImage(array.ctypes.data, shape[0], shape[1], shape[2] if len(shape) == 3 else 1,
                      DTYPE_CODES[array.dtype], 0)


class Call:
    """One call of an entry: checks the Python arguments, holds what is passed,
    and turns a failing status into an exception naming the argument."""

    def __init__(self, name: str, checks: "Sequence[Check]"):
        self.name = name
        self.checks = checks
        self.values: dict = {}

    def fail(self, error: type, argument: str, reason: str) -> None:
        raise error(f"lumra.{self.name}: {argument}: {reason}")

    def image(self, argument: str, array: Any, writable: bool = False) -> Image:
        """An image argument: (H, W) or (H, W, C) in uint8, uint16 or float32,
        C-contiguous. Other arrays are refused, never copied, so that out= and
        in-place calls always write the caller's memory."""
        if not isinstance(array, np.ndarray):
            self.fail(TypeError, argument, f"needs a numpy array, not {type(array).__name__}")
        if array.dtype not in DTYPE_CODES:
            self.fail(TypeError, argument, f"unsupported element type {array.dtype} (uint8, uint16 or float32)")
        if array.ndim not in (2, 3):
            self.fail(ValueError, argument, f"needs shape (H, W) or (H, W, C), not {array.shape}")
        if not (array.flags.c_contiguous and array.flags.aligned):
            self.fail(ValueError, argument, "is not C-contiguous; pass numpy.ascontiguousarray(...) of it")
        if writable and not array.flags.writeable:
            self.fail(ValueError, argument, "is read-only")
        self.values[argument] = array
        return Image(array, describe(array))

    def output(self, out: Optional[np.ndarray], source: Image, channels: int, dtype: Any,
               in_place: bool = False) -> Image:
        """out= when given (any overlap with the source refused unless the entry
        works in place and out is the source itself), else a new array of the
        source's height and width."""
        if out is None:
            h, w = source.array.shape[:2]
            shape = (h, w) if channels == 1 and source.array.ndim == 2 else (h, w, channels)
            dtype = np.dtype(dtype)
            if dtype not in DTYPE_CODES:
                self.fail(TypeError, "dtype", f"unsupported element type {dtype} (uint8, uint16 or float32)")
            array = np.empty(shape, dtype)
            self.values["out"] = array
            return Image(array, describe(array))
        image = self.image("out", out, writable=True)
        same = out.ctypes.data == source.array.ctypes.data and out.nbytes == source.array.nbytes
        if np.may_share_memory(out, source.array) and not (in_place and same):
            self.fail(ValueError, "out", "overlaps the source" + ("" if in_place else
                                                                   "; this entry does not work in place"))
        return image

    def in_place(self, image: Any, out: Optional[np.ndarray]) -> Image:
        """The image of an in-place entry: with out= a copy of the image goes
        to out and the entry changes that; else the image itself changes."""
        if out is None or out is image:
            return self.image("image", image, writable=True)
        source = self.image("image", image)
        target = self.image("out", out, writable=True)
        if out.shape != image.shape or out.dtype != image.dtype:
            self.fail(ValueError, "out", f"needs the image's shape {image.shape} and type {image.dtype}")
        if np.may_share_memory(out, image):
            self.fail(ValueError, "out", "overlaps the image")
        np.copyto(out, source.array)
        self.values["image"] = out
        return target

    def param(self, argument: str, value: Any, dtype: Any, size: Optional[int] = None,
              optional: bool = False, ndim: Optional[Iterable[int]] = None) -> Optional[np.ndarray]:
        """A parameter array (curve, matrix, table): any sequence, converted to a
        contiguous array of the C type. Its length is checked here, since the
        library reads as many elements as the other arguments promise."""
        if value is None:
            if not optional:
                self.fail(ValueError, argument, "is required")
            self.values[argument] = None
            return None
        try:
            array = np.ascontiguousarray(value, dtype=dtype)
        except (TypeError, ValueError) as error:
            self.fail(TypeError, argument, f"cannot be read as {np.dtype(dtype)} values ({error})")
        if ndim is not None and array.ndim not in tuple(ndim):
            self.fail(ValueError, argument, f"needs {' or '.join(map(str, ndim))} dimensions, not shape {array.shape}")
        if size is not None and array.size != size:
            self.fail(ValueError, argument, f"needs {size} values, not {array.size}")
        self.values[argument] = array
        return array

    def run(self, function: Callable, *args: Any) -> None:
        status = function(*args)
        if status != OK:
            self.explain(status)

    def explain(self, status: int) -> None:
        """Re-checks the arguments in the entry's documented order and names
        the first that fails with the status the library returned."""
        error = TypeError if status == UNSUPPORTED else ValueError
        for check_status, argument, ok, reason in self.checks:
            if check_status == status and not ok(self.values):
                self.fail(error, argument, f"{reason} ({STATUS_NAMES[status]})")
        if status == UNSUPPORTED and not any(s == UNSUPPORTED for s, *_ in self.checks):
            raise NotImplementedError(f"lumra.{self.name}: not implemented ({STATUS_NAMES[status]})")
        self.fail(error, "arguments", f"refused together ({STATUS_NAMES.get(status, status)})")


Check = tuple  # (status, argument, predicate over Call.values, reason)


def declare(name: str, restype: Any, *argtypes: Any) -> Callable:
    function = getattr(lib, "lumra_" + name)
    function.restype = restype
    function.argtypes = list(argtypes)
    return function
