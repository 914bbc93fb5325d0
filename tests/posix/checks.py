"""What the Python tests share: a check that says how it went and keeps count of what failed, and
the run of a test's functions, each in a scratch directory of its own."""
import os, sys, tempfile

failures = []


def check(ok, what):
    print(("ok: " if ok else "FAILED: ") + what, flush=True)
    failures.extend([] if ok else [what])


def run_all(*tests):
    # CHECKS_ONLY=NAME runs the tests whose names hold NAME, to look at one at a time.
    only = os.environ.get("CHECKS_ONLY", "")
    for test in (t for t in tests if only in t.__name__):
        with tempfile.TemporaryDirectory() as d:
            print("--", test.__name__, flush=True)
            test(d)
    sys.exit(1 if failures else 0)
