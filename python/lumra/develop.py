"""DNG development through liblumra-develop: the pipeline, options and
messages of the lumra-develop command, into numpy arrays or files, one file or
a batch (serially or on a Dask client)."""
from __future__ import annotations

import ctypes
import os
import warnings
from ctypes import POINTER, c_char_p, c_int32, c_uint32, c_void_p
from typing import Any, Dict, List, Optional, Sequence, Tuple

import numpy as np

from ._native import develop_lib

OK, ERR_ARGUMENT, ERR_OPTION, ERR_FAILED = 0, 1, 2, 3


class DevelopError(RuntimeError):
    """A development failed: the input, the camera profile, the pipeline or
    the output. The message is lumra-develop's."""


class BatchError(DevelopError):
    """Some files of a batch failed. failures maps each failed input to its
    message; outputs lists every input's output path (None where it failed)."""

    def __init__(self, failures: Dict[str, str], outputs: List[Optional[str]]):
        super().__init__(f"{len(failures)} of {len(outputs)} files failed:\n" + "\n".join(failures.values()))
        self.failures = failures
        self.outputs = outputs


class DevelopWarning(UserWarning):
    """A development succeeded with a warning (e.g. an optional opcode skipped)."""


class _Image(ctypes.Structure):
    _fields_ = [("data", c_void_p), ("height", c_uint32), ("width", c_uint32), ("channels", c_uint32),
                ("bits", c_int32)]


_bound = False


def _lib() -> ctypes.CDLL:
    global _bound
    lib = develop_lib()
    if not _bound:
        for name, restype, argtypes in [
            ("new", c_void_p, []),
            ("free", None, [c_void_p]),
            ("set_option", c_int32, [c_void_p, c_char_p, c_char_p]),
            ("to_buffer", c_int32, [c_void_p, c_char_p, POINTER(_Image)]),
            ("to_file", c_int32, [c_void_p, c_char_p, c_char_p]),
            ("error", c_char_p, [c_void_p]),
            ("warnings", c_char_p, [c_void_p]),
            ("output_extension", c_char_p, [c_void_p]),
            ("options_help", c_char_p, []),
            ("version", c_char_p, []),
        ]:
            f = getattr(lib, "lumra_develop_" + name)
            f.restype, f.argtypes = restype, argtypes
        _bound = True
    return lib


def _text(value: Any) -> str:
    if isinstance(value, (list, tuple, set, frozenset)):
        return ",".join(str(v) for v in value)
    return str(value)


class _Handle:
    """A liblumra-develop handle with the given options (keyword names use _
    for the command line's -)."""

    def __init__(self, entry: str, options: Dict[str, Any]):
        self.lib = _lib()
        self.entry = entry
        self.ptr = self.lib.lumra_develop_new()
        if not self.ptr:
            raise MemoryError(f"lumra.{entry}: out of memory")
        try:
            for name, value in options.items():
                if value is None:
                    continue
                status = self.lib.lumra_develop_set_option(self.ptr, name.replace("_", "-").encode(),
                                                           _text(value).encode())
                if status != OK:
                    raise ValueError(f"lumra.{entry}: {name}: {self.message()}")
        except BaseException:
            self.close()
            raise

    def message(self) -> str:
        return self.lib.lumra_develop_error(self.ptr).decode(errors="replace")

    def check(self, status: int) -> None:
        for line in self.lib.lumra_develop_warnings(self.ptr).decode(errors="replace").splitlines():
            warnings.warn(line, DevelopWarning, stacklevel=3)
        if status == ERR_ARGUMENT:
            raise ValueError(f"lumra.{self.entry}: {self.message()}")
        if status != OK:
            raise DevelopError(self.message())

    def extension(self) -> str:
        return self.lib.lumra_develop_output_extension(self.ptr).decode()

    def close(self) -> None:
        if self.ptr:
            self.lib.lumra_develop_free(self.ptr)
            self.ptr = None

    def __enter__(self) -> "_Handle":
        return self

    def __exit__(self, *exc: Any) -> None:
        self.close()


def _path(path: "os.PathLike[str] | str") -> bytes:
    return os.fsencode(os.fspath(path))


def develop(path: "os.PathLike[str] | str", **options: Any) -> np.ndarray:
    """Develops a DNG into a new (H, W, 3) array: uint8, or uint16 with bits=16.

    Options are lumra-develop's, by name: space="prophoto", bits=16,
    dcp="camera.dcp", skip=["warp", "vignette"], ... (see options_help()).
    An invalid option raises ValueError, a failed development DevelopError with
    the tool's message; warnings are issued as DevelopWarning.
    """
    with _Handle("develop", options) as h:
        image = _Image()
        h.check(h.lib.lumra_develop_to_buffer(h.ptr, _path(path), ctypes.byref(image)))
        dtype = np.uint16 if image.bits == 16 else np.uint8
        shape = (image.height, image.width, image.channels)
        count = image.height * image.width * image.channels
        result = np.empty(shape, dtype)
        if count:
            ctypes.memmove(result.ctypes.data, image.data, count * result.itemsize)
        return result


def develop_file(path: "os.PathLike[str] | str", output: "os.PathLike[str] | str", **options: Any) -> str:
    """Develops a DNG into a PNG or TIFF file (TIFF when format="tiff" or the
    output ends in .tif/.tiff), as lumra-develop INPUT -o OUTPUT does. The file
    appears only when complete. Returns the output path."""
    with _Handle("develop_file", options) as h:
        h.check(h.lib.lumra_develop_to_file(h.ptr, _path(path), _path(output)))
    return os.fspath(output)


def _develop_one(path: str, output: str, options: Dict[str, Any]) -> Tuple[Optional[str], Optional[str]]:
    """One file of a batch: (output, None) or (None, message); never raises,
    so one bad file cannot stop the others."""
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DevelopWarning)
            return develop_file(path, output, **options), None
    except Exception as error:  # reported per file by develop_many
        return None, str(error)


def develop_many(paths: Sequence["os.PathLike[str] | str"], out_dir: "os.PathLike[str] | str",
                 client: Any = None, **options: Any) -> List[str]:
    """Develops every DNG in paths into out_dir, each as its name with .png or
    .tif, serially or, given a dask.distributed Client, as one task per file on
    its workers. The files are the same either way.

    Every file is tried; if any fails, BatchError lists each failure (and the
    outputs of the others) after all have run. Returns the output paths in the
    order of paths.
    """
    with _Handle("develop_many", options) as h:  # options are checked once, before any work
        extension = h.extension()
    os.makedirs(out_dir, exist_ok=True)
    inputs = [os.fspath(p) for p in paths]
    outputs = [os.path.join(os.fspath(out_dir), os.path.splitext(os.path.basename(p))[0] + extension)
               for p in inputs]
    results: List[Tuple[Optional[str], Optional[str]]] = [(None, None)] * len(inputs)
    first: Dict[str, str] = {}
    todo = []
    for k, (source, output) in enumerate(zip(inputs, outputs)):
        key = os.path.abspath(output)
        if key in first:
            results[k] = (None, f"{source}: {output} is the output of {first[key]} already")
        else:
            first[key] = source
            todo.append(k)
    if client is None:
        for k in todo:
            results[k] = _develop_one(inputs[k], outputs[k], options)
    else:
        futures = client.map(_develop_one, [inputs[k] for k in todo], [outputs[k] for k in todo],
                             options=options, pure=False)
        for k, result in zip(todo, client.gather(futures)):
            results[k] = result
    failures = {inputs[k]: message for k, (_, message) in enumerate(results) if message is not None}
    done = [output for output, _ in results]
    if failures:
        raise BatchError(failures, done)
    return done  # type: ignore[return-value]


def options_help() -> str:
    """The development options (lumra-develop's --NAME VALUE)."""
    return _lib().lumra_develop_options_help().decode()
