"""orvane.fit against orvane-cli --json, which fits from the same layers."""
import json
import pathlib
import subprocess

import numpy as np
import pytest

import orvane

ROOT = pathlib.Path(__file__).resolve().parents[2]
CLI = pathlib.Path(orvane.__file__).resolve().parent.parent / "bin" / "orvane-cli"


@pytest.mark.parametrize("example", sorted((ROOT / "examples").glob("fit-*.json")))
def test_fit_equals_the_cli_json_fit(example):
    done = subprocess.run([str(CLI), "--scenario", str(example), "--json"], capture_output=True,
                          check=True)
    printed = json.loads(done.stdout)
    fitted = orvane.fit(example)
    residuals = fitted.pop("residuals")
    assert fitted.pop("dose_mGy_per_MBq") == printed["dose_mGy_per_MBq"]
    expected = printed["fit"]
    expected_residuals = expected.pop("residuals")
    assert fitted == expected
    assert isinstance(residuals["at"], np.ndarray)
    assert [dict(zip(("kind", "at", "measured", "model", "weighted"), row))
            for row in zip(residuals["kind"], *(residuals[k].tolist() for k in
                                                ("at", "measured", "model", "weighted")))
            ] == expected_residuals
    assert orvane.fit(json.loads(example.read_text()))["components"] == expected["components"]


def test_fit_refuses_by_key_path():
    document = json.loads((ROOT / "examples" / "fit-lu177-psma617.json").read_text())
    document["measurements"]["whole_body"][0]["at"] = -5
    with pytest.raises(orvane.InputError, match=r"measurements\.whole_body\[0\]\.at"):
        orvane.fit(document)
