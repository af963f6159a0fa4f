"""Shared fixtures: the built tools and a few generated DNGs.

ctest runs these tests with LUMRA_LIBRARY, LUMRA_DEVELOP_LIBRARY, LUMRA_TOOLS_DIR
and PYTHONPATH pointing into the build and the source tree."""
import os
import subprocess

import pytest

TOOLS = os.environ.get("LUMRA_TOOLS_DIR", os.path.join(os.path.dirname(__file__), "../../build/release/tools"))


def tool(name):
    return os.path.join(TOOLS, name)


@pytest.fixture(scope="session")
def dngs(tmp_path_factory):
    """Four small generated DNGs of different sizes."""
    folder = tmp_path_factory.mktemp("dngs")
    paths = []
    for k, size in enumerate(["64x48", "80x40", "48x48", "96x32"]):
        path = str(folder / f"shot{k}.dng")
        subprocess.run([tool("make-sample-dng"), path, "--size", size], check=True)
        paths.append(path)
    return paths
