"""out= fills and returns the caller's array; in-place entries change their
image, or with out= a copy of it."""
import numpy as np

import lumra

rng = np.random.default_rng(3)


def test_out_is_filled_and_returned():
    img = rng.random((6, 4, 3), dtype=np.float32)
    out = np.empty((6, 4, 3), np.uint16)
    assert lumra.transform_color(img, matrix=np.eye(3), out=out) is out
    np.testing.assert_array_equal(out, lumra.transform_color(img, matrix=np.eye(3), dtype=np.uint16))
    band = np.zeros((12, 4, 3), np.float32)  # a contiguous band of a larger array
    lumra.convert_dtype(img, out=band[6:])
    np.testing.assert_array_equal(band[6:], img)
    assert not band[:6].any()


def test_in_place_entries():
    img = np.full((4, 4, 3), 0.5, np.float32)
    assert lumra.apply_gain_map(img, [[2.0]]) is img and (img == 1.0).all()
    img = np.full((4, 4, 3), 0.5, np.float32)
    out = np.empty_like(img)
    assert lumra.fix_vignette(img, [1.0], out=out) is out
    assert (img == 0.5).all() and out[0, 0, 0] > 0.5


def test_entries_that_allow_the_source_as_destination():
    mosaic = np.full((6, 6), 500, np.uint16)
    mosaic[3, 3] = 0
    assert lumra.fix_bad_pixels_constant(mosaic, 0, out=mosaic) is mosaic
    assert (mosaic == 500).all()
    img = np.full((4, 4, 3), 0.25, np.float32)
    assert lumra.apply_exposure_ramp(img, 0.5, out=img) is img
    np.testing.assert_allclose(img, 0.5)
