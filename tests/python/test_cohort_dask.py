"""examples/cohort_dask.py on a LocalCluster of two worker processes against orvane-cli --batch."""
import json
import pathlib
import subprocess
import sys

import pytest

import orvane

pytest.importorskip("dask.bag")
pytest.importorskip("distributed")

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
CLI = pathlib.Path(orvane.__file__).resolve().parent.parent / "bin" / "orvane-cli"


def cohort_lines():
    """Every example scenario under several volumes, with and without ids, blank lines between,
    and scenarios the library refuses: every partition boundary falls somewhere in this."""
    lines = []
    examples = sorted(EXAMPLES.glob("*.json"))
    for k in range(12):
        for number, path in enumerate(examples):
            scenario = json.loads(path.read_text())
            if "uncertainty" in scenario:
                scenario["uncertainty"]["samples"] = 200
            if "measurements" in scenario:
                scenario["fit"]["samples"] = 200
            scenario["initial_volume"] = 20 + 7.5 * k + number
            if number % 2:
                scenario["id"] = f"{path.stem}-{k}" if k % 3 else k
            lines.append(json.dumps(scenario, ensure_ascii=False))
        lines.append("")
        lines.append(json.dumps({"id": f"bad-{k}", "initial_volume": -k}))
        lines.append(json.dumps(dict(json.loads(examples[0].read_text()), fill_rate={"day": -1})))
    lines.append(json.dumps({"name": "Ünïcode", "radiopharmaceutical": {"standard": 99}}))
    return "\n".join(lines) + "\n"


def test_the_dask_example_writes_the_cli_batch_records_bit_for_bit(tmp_path):
    cohort = tmp_path / "cohort.jsonl"
    cohort.write_text(cohort_lines(), encoding="utf-8")
    output = tmp_path / "results.jsonl"
    cli = subprocess.run([str(CLI), "--batch", str(cohort), "--threads", "2"],
                         capture_output=True, timeout=120)
    assert cli.returncode == 3, cli.stderr
    done = subprocess.run(
        [sys.executable, str(EXAMPLES / "cohort_dask.py"), str(cohort), str(output),
         "--workers", "2", "--memory-limit", "512MiB", "--partitions", "5"],
        capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr.decode()[-3000:]
    expected = cli.stdout
    assert expected.count(b'"error"') == 25 and expected.count(b"\n") == 109
    assert expected.count(b'"fit"') == 24
    # Every value to the last bit (Python spells some doubles with fewer digits than the CLI's
    # writer, which is why the texts are not compared), every key in the same order.
    written = output.read_text(encoding="utf-8").splitlines()
    assert [json.loads(line) for line in written] == [json.loads(line) for line in
                                                      expected.decode().splitlines()]
    assert [list(json.loads(line)) for line in written] == [
        list(json.loads(line)) for line in expected.decode().splitlines()]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["cohort.jsonl", "results.jsonl"]
