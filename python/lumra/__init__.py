"""lumra for Python: the liblumra kernels on numpy arrays, and DNG
development through liblumra-develop.

    import lumra
    rgb = lumra.develop("photo.dng", space="prophoto", bits=16)
    linear = lumra.convert_dtype(raw, "float32", in_bits=12)

See lumra.kernels for the array conventions shared by every function.
"""
from ._native import lib as _lib
from .develop import (BatchError, DevelopError, DevelopWarning, develop, develop_file, develop_many,
                      options_help)
from .kernels import *  # noqa: F401,F403
from .kernels import ENTRIES
from .regions import ENTRIES as _REGION_ENTRIES
from .regions import Region
from .regions import *  # noqa: F401,F403  (the region entries this library has)

__all__ = ["version", "develop", "develop_file", "develop_many", "options_help", "DevelopError", "BatchError",
           "DevelopWarning", "Region"] + ENTRIES + _REGION_ENTRIES


def version() -> str:
    """The version of the loaded liblumra, e.g. "1.0.0"."""
    return _lib.lumra_version().decode()
