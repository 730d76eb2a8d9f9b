"""The Python module against orvane-cli, which computes the same things from the same layers."""
import collections
import json
import pathlib
import re
import runpy
import subprocess
import sys
import threading
import time
import types
import warnings

import numpy as np
import pytest

import orvane

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
CLI = pathlib.Path(orvane.__file__).resolve().parent.parent / "bin" / "orvane-cli"


def cli(*arguments):
    done = subprocess.run([str(CLI), *arguments], capture_output=True, check=True)
    return done.stdout.decode()


SHIPPED_LIBRARY = ROOT / "data" / "radiopharmaceuticals.json"
ENTRIES = [e["name"] for e in json.loads(SHIPPED_LIBRARY.read_text())["entries"]]


@pytest.fixture
def user_library(tmp_path, monkeypatch):
    """The user's library file (not yet written) in a data folder of the test's own."""
    monkeypatch.setenv("XDG_DATA_HOME", str(tmp_path))
    return tmp_path / "orvane" / "radiopharmaceuticals.json"


@pytest.mark.parametrize("option, key", [("--standard", i) for i in range(20)] +
                         [("--agent", name) for name in ENTRIES])
def test_every_standard_and_entry_table_equals_the_cli_csv_to_the_last_bit(option, key,
                                                                            user_library):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        table = orvane.table(key)
    assert table.name == (orvane.standards()[key]["name"] if option == "--standard" else key)
    rows = [row.split(",") for row in cli(option, str(key), "--csv").splitlines()[1:]]
    assert len(rows) == 3 * 7 * 9
    # Rows by schedule, then V0, then T0: the order of the array's axes.
    assert [(float(v0), float(t0)) for _, v0, t0, *_ in rows[:63]] == [
        (v, t) for v in table.v0 for t in table.t0]
    assert [float(row[3]) for row in rows] == table.doses.ravel().tolist()


def test_results_file_and_schedule_report_are_the_cli_text():
    table = orvane.table("Tc-99m MAG3")
    assert table.results_file() == cli("--standard", "Tc-99m MAG3")
    assert table.report(3) == cli("--standard", "Tc-99m MAG3", "--schedule", "3")


def test_fields_as_numbers_give_the_tables_of_the_same_texts():
    texts = orvane.table({"standard": "I-131 NaI", "tp": "11548.8", "f2": "0.35"})
    numbers = orvane.table({"standard": "I-131 NaI", "tp": 11548.8, "f2": 0.35})
    assert np.array_equal(texts.doses, numbers.doses)
    fields = list(orvane.standards()[5]["fields"].values())
    assert np.array_equal(orvane.table(fields).doses, orvane.table(5).doses)
    renamed = orvane.table(5, name="Mine")
    assert renamed.name == "Mine" and "Mine" in renamed.results_file()


def test_arrays_have_the_documented_shapes_units_and_are_read_only():
    table = orvane.table("Tc-99m MAG3")
    assert table.doses.shape == (3, 7, 9) and table.doses.dtype == np.float64
    assert table.v0.shape == (7,) and table.t0.shape == (9,)
    assert table.rates.tolist() == [[0.5, 0.25], [1.0, 0.5], [1.5, 0.75]]
    # V0 100 ml, T0 100 min, 1.0 ml/min: the README's example cell.
    assert (table.v0[2], table.t0[4], table.rates[1, 0]) == (100.0, 100.0, 1.0)
    with pytest.raises(ValueError):
        table.doses[0, 0, 0] = 0.0


def scenario_result(printed):
    """The CLI's scenario record without its header (program, version, time, data file and the
    inputs as computed), which scenario().json() leaves out."""
    record = json.loads(printed)
    for key in ("program", "version", "calculated_utc", "data_file", "input"):
        record.pop(key)
    return record


@pytest.mark.parametrize("name", sorted(p.name for p in EXAMPLES.glob("*.json")))
def test_scenario_equals_the_cli_json(name):
    path = EXAMPLES / name
    expected = scenario_result(cli("--scenario", str(path), "--json", "--time-course", "5"))
    result = orvane.scenario(str(path))
    course = expected.pop("time_course")
    uncertainty = expected.pop("uncertainty", None)
    assert orvane.scenario(path, time_course=None).json() == expected
    assert result.dose == expected["dose_mGy_per_MBq"]
    assert result.dose_mGy == expected.get("dose_mGy")
    assert result.activity_left_fraction == expected["activity_left_fraction"]
    assert result.voids == expected["voids"]
    assert result.intervals == expected["intervals"]
    # A file with measurements is fitted first, as the CLI does.
    assert ("Fit to the measurements" in result.report()) == ("fit" in expected)
    for key, values in result.time_course.items():
        assert values.shape == (len(course),)
        assert values.tolist() == [point[key] for point in course], key
    # The same scenario as a dict reads the same.
    assert orvane.scenario(json.loads(path.read_text())).json()["voids"] == expected["voids"]
    if uncertainty is not None:
        analysis = orvane.uncertainty(path, threads=1)
        assert {k: analysis[k] for k in uncertainty} == uncertainty
        assert analysis["doses"].shape == (uncertainty["samples_used"] +
                                           uncertainty["samples_rejected"],)
        assert analysis["values"].shape == (len(analysis["doses"]), len(analysis["inputs"]))
        assert np.isnan(analysis["doses"]).sum() == uncertainty["samples_rejected"]
        assert np.array_equal(orvane.uncertainty(path, threads=2)["doses"], analysis["doses"],
                              equal_nan=True)


def _diary(voids):
    return {"radiopharmaceutical": {"standard": "Tc-99m DTPA"}, "initial_volume": 50,
            "fill_rate": {"day": 1.0},
            "voiding": {"pattern": "diary", "voids": voids}}


def _varied(seed):
    return dict(_diary([{"at": 60}, {"at": 240}]),
                uncertainty={"samples": 50, "seed": seed, "vary": "population"})


_SELF_CONTAINING = []
_SELF_CONTAINING.append(_SELF_CONTAINING)


@pytest.mark.parametrize("call, error, path", [
    (lambda: orvane.table({"standard": "Tc-99m MAG3", "tp": "6 h"}), orvane.InputError, "tp"),
    (lambda: orvane.table({"standard": 1, "delta": -1.0}), orvane.InputError, "delta"),
    (lambda: orvane.table({"standard": 1, "tp": float("inf")}), orvane.InputError, "tp"),
    (lambda: orvane.table({"standard": 1, "colour": "red"}), orvane.InputError, "colour"),
    (lambda: orvane.table("Tc-99m MAGIC"), orvane.InputError, "standard"),
    (lambda: orvane.table(20), orvane.InputError, "standard"),
    (lambda: orvane.table([1.0] * 14), orvane.InputError, None),
    (lambda: orvane.table(1).report(0), orvane.InputError, "schedule"),
    (lambda: orvane.scenario(_diary([{"at": 60}, {"at": float("nan")}])), orvane.InputError,
     "voiding.voids[1].at"),
    (lambda: orvane.scenario(_diary([{"at": 60, "residual": -5}])), orvane.InputError,
     "voiding.voids[0].residual"),
    (lambda: orvane.scenario(_diary([{"at": 60, "when": 3}])), orvane.InputError,
     "voiding.voids[0].when"),
    (lambda: orvane.scenario(_diary([{"at": object()}])), orvane.InputError,
     "voiding.voids[0].at"),
    (lambda: orvane.scenario(_diary(_SELF_CONTAINING)), orvane.InputError,
     "voiding.voids" + "[0]" * 62),
    (lambda: orvane.scenario(_diary([{"at": 60}]), time_course=0), orvane.InputError,
     "time_course"),
    (lambda: orvane.uncertainty(_diary([{"at": 60}])), orvane.InputError, "uncertainty"),
    (lambda: orvane.table(1, data="/nonexistent/orvane.dat"), orvane.DataFileError,
     "/nonexistent/orvane.dat"),
    # None, integers beyond 64 bits and lone surrogates, wherever they are given.
    (lambda: orvane.scenario(None), orvane.InputError, None),
    (lambda: orvane.uncertainty(None), orvane.InputError, None),
    (lambda: orvane.scenario(_diary([{"at": None}])), orvane.InputError, "voiding.voids[0].at"),
    (lambda: orvane.scenario(dict(_diary([{"at": 60}]), initial_volume=2**64)),
     orvane.InputError, "initial_volume"),
    (lambda: orvane.uncertainty(_varied(2**64)), orvane.InputError, "uncertainty.seed"),
    (lambda: orvane.scenario(dict(_diary([{"at": 60}]), name="a\ud800")), orvane.InputError,
     "name"),
    (lambda: orvane.scenario(dict(_diary([{"at": 60}]), fill_rate={"\ud800": 1})),
     orvane.InputError, "fill_rate.\\ud800"),
    (lambda: orvane.table("\ud800"), orvane.InputError, "standard"),
    (lambda: orvane.table(2**70), orvane.InputError, "standard"),
    (lambda: orvane.table(1, name="\udc00"), orvane.InputError, "name"),
    (lambda: orvane.table({"standard": 1, "f1": -2**63 - 1}), orvane.InputError, "f1"),
])
def test_refusals_raise_the_documented_type_with_the_key_path(call, error, path):
    with pytest.raises(error) as raised:
        call()
    assert raised.value.path == path


@pytest.mark.parametrize("given, plain", [
    (dict(_diary(np.array([60.0, 180.0]))), _diary([60.0, 180.0])),
    (dict(_diary(range(60, 181, 60))), _diary([60, 120, 180])),
    (dict(_diary([{"at": np.int64(60)}]), initial_volume=np.float32(50)), _diary([{"at": 60}])),
    (types.MappingProxyType(_diary((60, {"at": 120}))), _diary([60, {"at": 120}])),
    (dict(_diary([60]), fill_rate=collections.UserDict(day=np.float64(1.0))), _diary([60])),
])
def test_mappings_sequences_and_numpy_read_as_dicts_and_lists(given, plain):
    assert orvane.scenario(given).json() == orvane.scenario(plain).json()


def test_a_seed_up_to_2_to_the_64_minus_1_samples_as_orvane_cli_does(tmp_path):
    varied = _varied(2**64 - 1)
    path = tmp_path / "seeded.json"
    path.write_text(json.dumps(varied))
    expected = json.loads(cli("--scenario", str(path), "--json"))["uncertainty"]
    analysis = orvane.uncertainty(varied, threads=1)
    assert {k: analysis[k] for k in expected} == expected


def test_error_classes_and_the_cli_message():
    assert issubclass(orvane.InputError, ValueError)
    assert issubclass(orvane.DataFileError, OSError)
    with pytest.raises(orvane.InputError) as raised:
        orvane.table({"standard": "Tc-99m MAG3", "tp": "6 h"})
    done = subprocess.run([str(CLI), "--standard", "Tc-99m MAG3", "--tp", "6 h"],
                          capture_output=True, text=True)
    assert done.returncode == 2
    assert done.stderr == f"orvane-cli: refused: {raised.value}\n"
    with pytest.raises(OSError):
        orvane.scenario(str(EXAMPLES / "no-such-scenario.json"))


def test_a_damaged_data_file_is_a_data_file_error(tmp_path):
    damaged = tmp_path / "orvane.dat"
    damaged.write_text("1, 2, 3\n")
    with pytest.raises(orvane.DataFileError) as raised:
        orvane.load_data(damaged)
    assert raised.value.path == str(damaged)
    data = orvane.load_data()
    assert np.array_equal(orvane.table(3, data=data).doses, orvane.table(3).doses)


def test_a_scenario_path_that_is_no_file_is_refused_at_once(tmp_path):
    # Every kind of no file is JsonReader's (test_scenario_file.cpp); here the exception.
    start = time.monotonic()
    with pytest.raises(OSError, match="cannot read"):
        orvane.scenario("/dev/zero")
    assert time.monotonic() - start < 1
    text = (EXAMPLES / "two-hour-voiding-lu177-psma.json").read_text()
    nul = tmp_path / "nul.json"
    nul.write_text(text + "\0{}")
    with pytest.raises(orvane.InputError, match="a NUL byte"):
        orvane.scenario(str(nul))


def test_threads_compute_scenarios_at_once_with_the_same_results():
    scenario = json.loads((EXAMPLES / "two-hour-voiding-lu177-psma.json").read_text())
    expected = orvane.scenario(scenario).dose
    doses = []

    def work():
        doses.extend(orvane.scenario(scenario, time_course=None).dose for _ in range(50))

    threads = [threading.Thread(target=work) for _ in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert doses == [expected] * 200


def test_a_long_computation_lets_other_python_threads_run():
    scenario = json.loads((EXAMPLES / "i131-nai-population-uncertainty.json").read_text())
    scenario["uncertainty"]["samples"] = 3000
    worker = threading.Thread(target=orvane.uncertainty, args=(scenario,), kwargs={"threads": 1})
    start = last = time.perf_counter()
    longest = 0.0
    worker.start()
    while worker.is_alive():
        now = time.perf_counter()
        longest, last = max(longest, now - last), now
    # Holding the interpreter lock would stop this loop for the whole analysis.
    assert longest < (last - start) / 3


def test_the_notebook_runs_without_matplotlib(monkeypatch, capsys):
    monkeypatch.setitem(sys.modules, "matplotlib", None)
    monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
    cells = runpy.run_path(str(ROOT / "examples" / "notebook.py"), run_name="__main__")
    assert cells["fdg"].doses.shape == (3, 7, 9)
    assert len(cells["population"]) == 200 and np.all(cells["population"] > 0)
    assert cells["interval_doses"].shape == cells["intervals"].shape
    # A longer voiding interval leaves the urine longer in the bladder.
    assert np.all(np.diff(cells["interval_doses"]) > 0)
    assert "matplotlib is not installed" in capsys.readouterr().out


def test_library_lists_every_shipped_value_with_its_confidence(user_library):
    shipped = json.loads(SHIPPED_LIBRARY.read_text())["entries"]
    listed = orvane.library()
    assert len(listed) == len(shipped) == 18
    for entry, source in zip(listed, shipped):
        assert entry["origin"] == "shipped"
        assert (entry["name"], entry["nuclide"], entry["confidence"]) == (
            source["name"], source["nuclide"], source["confidence"])
        assert entry["aliases"] == source.get("aliases", [])
        assert entry["marks"] == source.get("marks", [])
        assert entry["notes"] == source.get("notes", "")
        assert entry["warnings"] == source.get("warnings", [])
        assert [(c["fraction"], c["rate_constant_per_min"], c["biological_half_life_min"])
                for c in entry["components"]] == [
            (c["fraction"], c["rateConstant"], c["biologicalHalfLife"])
            for c in source["components"]]
        assert (entry["physical_half_life_min"], entry["delta_mGy_kg_per_MBq_s"],
                entry["gamma_mGy_cm2_per_MBq_s"]) == (
            source["physicalHalfLife"], source["delta"], source["gamma"])
        assert entry["sources"] == [dict(s, url=s.get("url", "")) for s in source["sources"]]
        assert [(d["dose_mGy_per_MBq"], d["voiding"], d["source"], d["recalled"])
                for d in entry["published_doses"]] == [
            (d["value"], d["voiding"], d["source"], d.get("recalled", False))
            for d in source.get("publishedDoses", [])]
        assert [(p["time_min"], p["excreted_fraction"]) for p in entry["fitted_points"]] == [
            (p["time"], p["excreted"]) for p in source.get("fittedPoints", [])]
        alpha = source.get("deltaWithoutAlpha")
        assert entry["delta_without_alpha_mGy_kg_per_MBq_s"] == alpha
        if alpha is None:
            assert entry["delta_alpha_mGy_kg_per_MBq_s"] is None
        else:
            assert entry["delta_alpha_mGy_kg_per_MBq_s"] == source["delta"] - alpha


def test_entries_are_found_by_alias_and_warn_wherever_chosen(user_library):
    assert orvane.table("pluvicto").name == "Lu-177 PSMA-617"
    with pytest.warns(UserWarning, match="Ac-225 PSMA-617: Alpha emitter"):
        orvane.table({"standard": "Ac-225 PSMA-617", "tp": 14400})
    document = json.loads((EXAMPLES / "two-hour-voiding-lu177-psma.json").read_text())
    document["radiopharmaceutical"] = {"library": "Pluvicto"}
    path = user_library.parent.parent / "by-name.json"
    path.write_text(json.dumps(document))
    expected = scenario_result(cli("--scenario", str(path), "--json"))
    assert orvane.scenario(document, time_course=None).json() == expected
    document["radiopharmaceutical"] = {"library": "Ac-225 PSMA-617"}
    with pytest.warns(UserWarning, match="No RBE"):
        orvane.scenario(document)
    document["radiopharmaceutical"] = {"library": "Lu-178 PSMA"}
    with pytest.raises(orvane.InputError) as raised:
        orvane.scenario(document)
    assert raised.value.path == "radiopharmaceutical.library"


def test_the_users_entries_follow_marked_and_a_damaged_file_only_warns(user_library):
    user_library.parent.mkdir(parents=True)
    mine = json.loads(SHIPPED_LIBRARY.read_text())
    mine["entries"] = [dict(mine["entries"][0], name="My Ga-68 PSMA", aliases=[])]
    user_library.write_text(json.dumps(mine))
    listed = orvane.library()
    assert [(e["name"], e["origin"]) for e in listed[18:]] == [("My Ga-68 PSMA", "user")]
    assert np.array_equal(orvane.table("my ga-68 psma").doses,
                          orvane.table("Ga-68 PSMA-11").doses)
    user_library.write_text('{"format": ')
    with pytest.warns(UserWarning, match="your library"):
        assert len(orvane.library()) == 18
    assert user_library.read_text() == '{"format": '
    beside = user_library.parent / "orvane.dat"
    beside.write_bytes(pathlib.Path(orvane.load_data().file).read_bytes())
    with pytest.raises(orvane.DataFileError) as raised:
        orvane.library(data=beside)
    assert raised.value.path == str(user_library)


TEST_DATA = ROOT / "tests" / "data"


def test_one_table_of_spellings_resolves_as_orvane_cli_does(user_library):
    spellings = json.loads((TEST_DATA / "name-spellings.json").read_text())
    shipped = {e["name"]: e for e in json.loads(SHIPPED_LIBRARY.read_text())["entries"]}
    mine = json.loads(SHIPPED_LIBRARY.read_text())
    mine["entries"] = []
    for made in spellings["user_entries"]:
        entry = dict(shipped[made["copy_of"]], name=made["name"], aliases=made["aliases"])
        entry.pop("warnings", None)
        mine["entries"].append(entry)
    user_library.parent.mkdir(parents=True)
    user_library.write_text(json.dumps(mine))
    for spelling in spellings["spellings"]:
        query = spelling["query"]
        if "refused" in spelling:
            with pytest.raises(orvane.InputError, match=re.escape(spelling["refused"])):
                orvane.table(query)
            continue
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            table = orvane.table(query)
        record = json.loads(cli("--agent", str(query), "--json"))
        assert table.name == record["input"]["name"] == spelling["entry"], query
        assert table.warnings == record["warnings"], query
        assert [str(w.message) for w in caught] == [w["message"] for w in table.warnings]
        assert all(w.category is orvane.OrvaneWarning for w in caught)
        told = " ".join(w["message"] for w in table.warnings)
        assert ("warned" in spelling) == (spelling.get("warned", "\0") in told), query
    # The colliding entry is left out of the listing, with a warning that names the file.
    with pytest.warns(orvane.OrvaneWarning, match=re.escape(str(user_library))):
        listed = orvane.library()
    assert [e["name"] for e in listed if e["origin"] == "user"] == ["My tracer"]


@pytest.mark.parametrize("item", json.loads(
    (TEST_DATA / "warned-scenarios.json").read_text())["scenarios"])
def test_warned_scenarios_warn_as_orvane_cli_does(item, user_library, tmp_path):
    path = tmp_path / "scenario.json"
    path.write_text(json.dumps(item["scenario"]))
    run = subprocess.run([str(CLI), "--scenario", str(path), "--json"], capture_output=True,
                         check=True)
    expected = json.loads(run.stdout)["warnings"]
    assert [w["path"] for w in expected] == item["warned"]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = orvane.scenario(item["scenario"], time_course=None)
    assert result.warnings == result.json()["warnings"] == expected
    assert [(w.category, str(w.message)) for w in caught] == \
        [(orvane.OrvaneWarning, w["message"]) for w in expected]


def test_batch_equals_the_cli_batch_and_keeps_bad_items_as_error_records(tmp_path):
    cohort = []
    for path in sorted(EXAMPLES.glob("*.json")):
        scenario = json.loads(path.read_text())
        if "uncertainty" in scenario:
            scenario["uncertainty"]["samples"] = 300
        if "measurements" in scenario:
            scenario["fit"]["samples"] = 300
        cohort.append(scenario)
        cohort.append(dict(scenario, id=path.stem, initial_volume=42.5))
    cohort.append(dict(cohort[0], fill_rate={"day": -1}))
    cohort.append({"id": 7, "initial_volume": 5})
    lines = tmp_path / "cohort.jsonl"
    lines.write_text("".join(json.dumps(s) + "\n" for s in cohort))
    done = subprocess.run([str(CLI), "--batch", str(lines), "--threads", "2"], capture_output=True)
    assert done.returncode == 3
    assert done.stderr.decode() == f"orvane-cli: {len(cohort) - 2} computed, 2 failed\n"
    expected = [json.loads(line) for line in done.stdout.decode().splitlines()]

    results = orvane.batch(cohort, threads=3)
    assert results == expected
    assert results[-2]["error"]["path"] == "fill_rate.day"
    assert results[-1]["id"] == "7"

    # Paths as items, and a bad item of another kind; one thread gives the same.
    paths = sorted(EXAMPLES.glob("*.json"))
    by_path = orvane.batch([*paths, 3], threads=1)
    for result, path in zip(by_path, paths):
        assert result["dose_mGy_per_MBq"] == orvane.scenario(path).dose
    assert "expected a dict or a path" in by_path[-1]["error"]["message"]

    arrays = orvane.batch(cohort, as_arrays=True)
    assert list(arrays["line"]) == [r["line"] for r in expected]
    assert list(arrays["id"]) == [r["id"] for r in expected]
    for k, record in enumerate(expected):
        if "error" in record:
            assert np.isnan(arrays["dose_mGy_per_MBq"][k]) and arrays["error"][k]
        else:
            assert arrays["dose_mGy_per_MBq"][k] == record["dose_mGy_per_MBq"]
            interval = record["fit"]["dose_interval"] if "fit" in record else record.get(
                "uncertainty", {}).get("percentiles", {})
            p50 = interval.get("50", np.nan)
            assert arrays["p50"][k] == p50 or np.isnan(p50) and np.isnan(arrays["p50"][k])
