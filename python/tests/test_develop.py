"""Development through liblumra-develop: the same pixels and messages as the
command, files and batches, serial and on a Dask LocalCluster."""
import os
import subprocess
import warnings

import numpy as np
import pytest
from PIL import Image

import lumra
from conftest import tool


def cli(*args):
    return subprocess.run([tool("lumra-develop"), *args], capture_output=True, text=True)


def test_develop_gives_the_commands_pixels(dngs, tmp_path):
    for options, args in [({}, []), ({"space": "prophoto", "skip": ["exposure", "tone-curve"]},
                                     ["--space", "prophoto", "--skip", "exposure,tone-curve"]),
                          ({"space": "display-p3", "demosaic": "bilinear"},
                           ["--space", "display-p3", "--demosaic", "bilinear"])]:
        png = tmp_path / "cli.png"
        assert cli(dngs[0], "-o", str(png), *args).returncode == 0
        np.testing.assert_array_equal(lumra.develop(dngs[0], **options), np.asarray(Image.open(png)))
    sixteen = lumra.develop(dngs[1], bits=16)
    assert sixteen.dtype == np.uint16 and sixteen.shape == (40, 80, 3)


def test_develop_file_and_errors_are_the_commands(dngs, tmp_path):
    out = tmp_path / "one.tif"
    assert lumra.develop_file(dngs[0], out) == str(out) and out.exists()
    with pytest.raises(ValueError) as info:
        lumra.develop(dngs[0], bits=12)
    assert "--bits takes 8 or 16, not 12" in str(info.value)
    assert cli(dngs[0], "--bits", "12").stderr.strip() == "lumra-develop: --bits takes 8 or 16, not 12"
    with pytest.raises(ValueError, match="unknown option --colour"):
        lumra.develop(dngs[0], colour="red")
    missing = str(tmp_path / "missing.dng")
    with pytest.raises(lumra.DevelopError) as info:
        lumra.develop_file(missing, tmp_path / "m.png")
    assert cli(missing, "-o", str(tmp_path / "m.png")).stderr.strip() == "lumra-develop: " + str(info.value)
    assert sorted(os.listdir(tmp_path)) == ["one.tif"]  # nothing of the failed output


def test_develop_many_serial_and_on_dask(dngs, tmp_path):
    from distributed import Client, LocalCluster

    serial = lumra.develop_many(dngs, tmp_path / "serial", bits=16)
    with LocalCluster(n_workers=1, threads_per_worker=2, processes=False, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        on_dask = lumra.develop_many(dngs, tmp_path / "dask", client=client, bits=16)
        bad = tmp_path / "bad.dng"
        bad.write_bytes(b"II*\0")
        with pytest.raises(lumra.BatchError) as info:
            lumra.develop_many([dngs[0], str(bad), dngs[1]], tmp_path / "mixed", client=client)
    assert [os.path.basename(p) for p in on_dask] == [os.path.basename(p) for p in serial]
    for a, b in zip(serial, on_dask):
        with open(a, "rb") as fa, open(b, "rb") as fb:
            assert fa.read() == fb.read()
    assert list(info.value.failures) == [str(bad)]
    assert info.value.outputs[1] is None and os.path.exists(info.value.outputs[2])
    assert sorted(os.listdir(tmp_path / "mixed")) == ["shot0.png", "shot1.png"]
