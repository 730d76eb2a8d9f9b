"""orvane.patient, and a scenario by the patient's age alone, against orvane-cli."""
import json
import pathlib
import subprocess

import pytest

import orvane

CLI = pathlib.Path(orvane.__file__).resolve().parent.parent / "bin" / "orvane-cli"
MAG3 = {"standard": "Tc-99m MAG3"}


def test_the_patient_is_the_cli_fragment_and_stands_for_its_age_alone():
    printed = json.loads(subprocess.run([str(CLI), "--patient", "5,female", "--json"],
                                        capture_output=True, text=True, check=True).stdout)
    made = orvane.patient(5, "female")
    assert made == printed
    by_age = orvane.scenario({"radiopharmaceutical": MAG3, "patient": made["scenario"]["patient"]})
    written_out = orvane.scenario(dict(made["scenario"], radiopharmaceutical=MAG3))
    assert by_age.dose == written_out.dose
    taken = by_age.json()["patient"]["values"]
    assert [v["key"] for v in taken] == [v["key"] for v in made["patient"]["values"]]
    assert all(v["sources"] and set(v["sources"]) <= set(made["sources"]) for v in taken)


@pytest.mark.parametrize("age, sex, path", [
    (101, None, "patient.age"), (-1, None, "patient.age"), (float("nan"), None, "patient.age"),
    (None, None, "patient.age"), ("5", None, "patient.age"), (True, None, "patient.age"),
    (2**80, None, "patient.age"), (5, "other", "patient.sex"), (5, "\ud800", "patient.sex"),
    (5, 1, "patient.sex"),
])
def test_refused_ages_and_sexes_name_the_key(age, sex, path):
    with pytest.raises(orvane.InputError) as raised:
        orvane.patient(age, sex)
    assert raised.value.path == path
