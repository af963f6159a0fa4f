"""Every way a call is refused: the exception type, the entry and argument it
names, and an output left untouched."""
import numpy as np
import pytest

import lumra

F1 = np.zeros((4, 4), np.float32)
F3 = np.zeros((4, 4, 3), np.float32)
U16 = np.zeros((4, 4), np.uint16)

CASES = [
    # array rules, the same for every entry
    (lambda: lumra.convert_dtype(np.zeros((4, 4), np.float64)), TypeError, "convert_dtype: image: unsupported"),
    (lambda: lumra.convert_dtype([[1, 2]]), TypeError, "convert_dtype: image: needs a numpy array"),
    (lambda: lumra.convert_dtype(np.zeros(4, np.float32)), ValueError, "image: needs shape"),
    (lambda: lumra.convert_dtype(F3[:, ::2]), ValueError, "image: is not C-contiguous"),
    (lambda: lumra.convert_dtype(F1, np.int32), TypeError, "convert_dtype: dtype: unsupported"),
    (lambda: lumra.convert_dtype(F1, out=np.zeros((4, 5), np.uint8)), ValueError, "convert_dtype: out: needs the"),
    (lambda: lumra.transform_color(F3, matrix=np.eye(3), out=F3), ValueError, "out: overlaps the source"),
    # parameter arrays
    (lambda: lumra.transform_color(F3, matrix=np.eye(2)), ValueError, "transform_color: matrix: needs 9 values"),
    (lambda: lumra.normalize_raw(U16, black_levels=np.zeros((2, 2, 2))), ValueError, "black_levels: a 2 x 2 tile"),
    (lambda: lumra.warp_rectilinear(F3, [[1, 0]] * 3, [0, 0]), ValueError, "warp_rectilinear: tangential"),
    (lambda: lumra.fix_bad_pixels_constant(U16, 70000), ValueError, "bad_value"),
    (lambda: lumra.apply_profile_gain_table_map(F3, np.ones((2, 2, 2)), [1, 1]), ValueError, "weights: needs 5"),
    # statuses of the library, mapped and pinned on an argument
    (lambda: lumra.transform_color(F3), ValueError, "transform_color: curve1: curve1, matrix and curve2"),
    (lambda: lumra.transform_color(F3, [0, 1], hue_preserving=True, dtype=np.uint8), ValueError, "hue_preserving"),
    (lambda: lumra.transform_color(F3.astype(np.uint16), [0, 1], in_bits=40), TypeError, "in_bits"),
    (lambda: lumra.transform_color(F1, matrix=np.eye(3)), ValueError, "transform_color: image: needs 3 channels"),
    (lambda: lumra.mono_lut(F1, [0.5]), ValueError, "mono_lut: lut: needs at least 2"),
    (lambda: lumra.clip_and_transform_color(F3.astype(np.uint8), [1] * 3, np.eye(3)), TypeError, "image: needs float32"),
    (lambda: lumra.normalize_raw(F3.astype(np.uint8)), TypeError, "normalize_raw: image: needs uint16 or float32"),
    (lambda: lumra.bilinear_demosaic(F1, out=np.zeros((4, 5, 3), np.float32)), ValueError, "out: needs the image's width"),
    (lambda: lumra.bilinear_demosaic(F1, [0, 1, 1, 3]), ValueError, "cfa_pattern"),
    (lambda: lumra.bilinear_demosaic(U16), TypeError, "bilinear_demosaic: image: needs float32"),
    (lambda: lumra.vng_demosaic(F1), NotImplementedError, "vng_demosaic"),
    (lambda: lumra.fix_bad_pixels_constant(F1), TypeError, "fix_bad_pixels_constant: image: needs uint16"),
    (lambda: lumra.apply_gain_map(F1, [[1.0]]), ValueError, "apply_gain_map: image: needs 3 channel"),
    (lambda: lumra.apply_gain_map(F3, [[1.0]], row_pitch=0), ValueError, "row_pitch"),
    (lambda: lumra.apply_gain_map_cfa(F1, [[1.0]], col_pitch=0), ValueError, "col_pitch"),
    (lambda: lumra.apply_flat_gain_map(F1, [[1.0, 1.0]]), ValueError, "apply_flat_gain_map: gains: needs at least 2 rows"),
    (lambda: lumra.map_polynomial(F1, [1.0], top=1, bottom=9), ValueError, "map_polynomial: bottom"),
    (lambda: lumra.fix_vignette(U16, [0.0]), TypeError, "fix_vignette: image: needs float32"),
    (lambda: lumra.warp_rectilinear(F3[:3, :3].copy(), [1.0], bicubic=True), ValueError, "bicubic"),
    (lambda: lumra.warp_rectilinear(F3, [1.0], out=np.zeros((4, 4, 1), np.float32)), ValueError, "channel count"),
    (lambda: lumra.apply_hue_sat_map(F3, np.zeros((2, 1, 3))), ValueError, "apply_hue_sat_map: table: needs at least 2"),
    (lambda: lumra.apply_exposure_ramp(F1, 1.0), ValueError, "apply_exposure_ramp: image: needs 3 channels"),
]
if hasattr(lumra, "adaptive_demosaic"):
    CASES += [
        (lambda: lumra.adaptive_demosaic(F1, [0, 0, 1, 2]), TypeError, "adaptive_demosaic: cfa_pattern: is not a Bayer"),
        (lambda: lumra.adaptive_demosaic(F1, out=np.zeros((4, 4), np.float32)), ValueError, "out: needs 3 channels"),
    ]


@pytest.mark.parametrize("call,error,text", CASES, ids=[c[2][:40] for c in CASES])
def test_refusals(call, error, text):
    with pytest.raises(error) as info:
        call()
    assert "lumra." in str(info.value) and text in str(info.value)


def test_nothing_written_on_failure():
    out = np.full((4, 4, 3), 7, np.float32)
    with pytest.raises(ValueError):
        lumra.bilinear_demosaic(F1, [0, 1, 1, 5], out=out)
    image = np.full((4, 4), 0.5, np.float32)
    with pytest.raises(ValueError):
        lumra.map_polynomial(image, [1.0], top=2, bottom=1)
    assert (out == 7).all() and (image == 0.5).all()


def test_read_only_and_status_kinds():
    frozen = np.zeros((4, 4, 3), np.float32)
    frozen.flags.writeable = False
    with pytest.raises(ValueError, match="read-only"):
        lumra.apply_hue_sat_map(frozen, np.ones((2, 2, 3)))
    # a DIMENSION_MISMATCH status is a ValueError with the status named
    with pytest.raises(ValueError, match="LUMRA_ERR_DIMENSION_MISMATCH"):
        lumra.fix_bad_pixels_constant(U16, out=np.zeros((5, 4), np.uint16))
