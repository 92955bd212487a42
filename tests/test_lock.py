"""Every function releases the interpreter lock around its core work: another Python thread
makes progress while the call runs, not only before or after it."""
import sys
import threading
import time

import pytest

import quarnel
from conftest import FUNCTIONS, building, ifc_text



@pytest.fixture(scope="module")
def model(tmp_path_factory):
    path = tmp_path_factory.mktemp("lock") / "walls.ifc"
    path.write_text(ifc_text(building(4000, geometry=True)), encoding="latin-1")
    return str(path)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_another_thread_runs_during_the_call(model, name):
    # With a switch interval far longer than the test, a thread that holds the lock keeps it
    # until it lets go itself: the ticker can run only while the call has released it, so a
    # held lock leaves exactly zero ticks between entering and leaving the call.
    ticks = [0]
    stop = threading.Event()

    def ticker():
        while not stop.is_set():
            ticks[0] += 1
            time.sleep(0.0005)

    interval = sys.getswitchinterval()
    worker = threading.Thread(target=ticker)
    sys.setswitchinterval(1000.0)
    try:
        worker.start()
        while ticks[0] == 0:
            time.sleep(0.001)
        during = 0
        for _ in range(20):  # a loaded machine may leave the ticker waiting for a core now and then
            before = ticks[0]
            getattr(quarnel, name)(model)
            during += ticks[0] - before
            if during >= 3:
                break
    finally:
        stop.set()
        worker.join()
        sys.setswitchinterval(interval)
    assert during >= 3, f"the other thread ticked {during} times during twenty calls"
