"""A cohort across machines: a JSON Lines cohort read as a dask.bag, each partition computed by
orvane.batch on a Dask worker, and the results written as JSON Lines in input order, as
orvane-cli --batch writes them: the same line numbers, ids, keys and values to the last bit
(Python may spell a double with fewer digits than orvane-cli; both read back the same).

    python3 examples/cohort_dask.py cohort.jsonl results.jsonl                  # a LocalCluster
    python3 examples/cohort_dask.py cohort.jsonl results.jsonl --scheduler tcp://host:8786

Without --scheduler it starts a LocalCluster of --workers processes on this machine (loopback
only, no dashboard). Every worker needs the orvane package importable. A line that is not JSON
becomes an error record whose message is Python's, not the CLI reader's.
"""
import argparse
import json
import math
import os
import tempfile

import dask
import dask.bag
from dask.distributed import Client, LocalCluster


def count_records(lines):
    return len(lines)


def compute_partition(lines, first_line, threads):
    """Runs orvane.batch on one partition's lines; first_line is the first one's file line."""
    import orvane

    items, places, records = [], [], {}
    for offset, text in enumerate(lines):
        line = first_line + offset
        if not text.strip():
            continue  # a blank line yields no record but counts, as in orvane-cli
        try:
            scenario = json.loads(text)
        except json.JSONDecodeError as error:
            records[line] = {"line": line, "id": str(line),
                             "error": {"path": f"column {error.colno}", "message": error.msg}}
            continue
        if not isinstance(scenario, dict):
            records[line] = {"line": line, "id": str(line),
                             "error": {"path": "", "message": "expected a JSON object"}}
            continue
        scenario.setdefault("id", str(line))  # the id orvane-cli gives a record without one
        items.append(scenario)
        places.append(line)
    for line, result in zip(places, orvane.batch(items, threads=threads)):
        result["line"] = line
        records[line] = result
    return [json.dumps(records[line], ensure_ascii=False, separators=(",", ":"))
            for line in sorted(records)]


def run(cohort, output, client, partitions=None, threads=1):
    """Computes the cohort on the client's workers and writes output atomically."""
    if partitions is None:
        partitions = 2 * max(1, sum(client.nthreads().values()))
    size = max(1, os.path.getsize(cohort))
    bag = dask.bag.read_text(cohort, blocksize=max(1, math.ceil(size / partitions)))
    parts = bag.to_delayed()
    counts = dask.compute(*[dask.delayed(count_records)(part) for part in parts])
    futures, first = [], 1
    for part, count in zip(parts, counts):
        futures.append(client.compute(dask.delayed(compute_partition)(part, first, threads)))
        first += count
    directory = os.path.dirname(os.path.abspath(output))
    handle, temporary = tempfile.mkstemp(dir=directory, prefix=".cohort-", suffix=".part")
    try:
        with os.fdopen(handle, "w", encoding="utf-8", newline="\n") as file:
            for future in futures:  # in input order; each partition released once written
                for text in future.result():
                    file.write(text + "\n")
                future.release()
            file.flush()
            os.fsync(file.fileno())
        os.replace(temporary, output)
    except BaseException:
        os.unlink(temporary)
        raise


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("cohort", help="JSON Lines: one scenario object per line")
    parser.add_argument("output", help="the results, JSON Lines, in input order")
    parser.add_argument("--scheduler", help="a running Dask scheduler's address")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster processes")
    parser.add_argument("--memory-limit", default="1GiB", help="per LocalCluster worker")
    parser.add_argument("--partitions", type=int, help="default: twice the workers' threads")
    parser.add_argument("--threads", type=int, default=1,
                        help="orvane.batch threads per partition (Dask runs partitions at once)")
    args = parser.parse_args()
    if args.scheduler:
        with Client(args.scheduler) as client:
            run(args.cohort, args.output, client, args.partitions, args.threads)
        return
    with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                      memory_limit=args.memory_limit, host="127.0.0.1",
                      dashboard_address=None) as cluster, Client(cluster) as client:
        run(args.cohort, args.output, client, args.partitions, args.threads)


if __name__ == "__main__":
    main()
