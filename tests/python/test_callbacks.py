"""Python callback objects: notifications 100 and 101, an error state that
fails the open, an exception inside OnMessage, and the references both ways."""

import gc
import sys
import weakref

import qeldb

from conftest import open_temporary

OPENED, CLOSING = 100, 101


class Recorder:
    def __init__(self, fail_with=0, text=""):
        self.lErrorCode = 0
        self.strError = ""
        self.messages = []
        self.fail_with = fail_with
        self.text = text

    def OnMessage(self, kind, p1, p2, p3):
        self.messages.append((kind, p1, p2, p3))
        if kind == OPENED and self.fail_with:
            self.lErrorCode = self.fail_with
            self.strError = self.text
        return True


def test_notifications_reach_a_python_callback(db, tmp_path):
    callback = Recorder()
    db.objDatabaseCallback = callback
    # What comes back is the Python object itself, not a wrapper.
    assert db.objDatabaseCallback is callback
    open_temporary(db, tmp_path / "n.db")
    key = db.lKey
    assert db.Close()
    assert callback.messages == [(OPENED, 0, key, 0), (CLOSING, 0, key, 0)]


def test_an_error_state_set_by_the_callback_fails_the_open(db, tmp_path):
    db.objDatabaseCallback = Recorder(fail_with=4711, text="the imaging application refuses this clinic")
    assert db.AddNew(True, False)
    db.strDataSource = "QelPyRefused"
    db.strDirectory = str(tmp_path / "r.db")
    assert db.Open2(False) is False
    assert db.lErrorCode == 4711
    assert db.strError == "the imaging application refuses this clinic"


def test_an_exception_in_on_message_is_a_failure_the_component_reports(db, tmp_path, monkeypatch):
    class Broken(Recorder):
        def OnMessage(self, kind, p1, p2, p3):
            raise RuntimeError("callback bug")

    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: seen.append(report.exc_value))
    db.objDatabaseCallback = Broken()
    assert db.AddNew(True, False)
    db.strDataSource = "QelPyBroken"
    db.strDirectory = str(tmp_path / "b.db")
    assert db.Open2(False) is False
    assert db.lErrorCode == 30  # the callback did not deliver its error state
    assert any(isinstance(error, RuntimeError) and "callback bug" in str(error) for error in seen)


def test_a_callback_without_an_error_state_is_reported_not_crashed_on(db, tmp_path):
    class Silent:
        def OnMessage(self, kind, p1, p2, p3):
            return True

    db.objDatabaseCallback = Silent()
    assert db.AddNew(True, False)
    db.strDataSource = "QelPySilent"
    db.strDirectory = str(tmp_path / "s.db")
    assert db.Open2(False) is False and db.lErrorCode == 30


def test_the_component_releases_the_callback_and_python_releases_the_object(tmp_path):
    db = qeldb.Dispatch("QEL.Database")
    callback = Recorder()
    alive = weakref.ref(callback)
    db.objDatabaseCallback = callback
    del callback
    gc.collect()
    assert alive() is not None  # the component holds it
    assert not qeldb.can_unload_now()  # and the object holds the library
    db.objDatabaseCallback = None
    gc.collect()
    assert alive() is None

    # Many reads of the property hand out references the wrappers give back.
    callback = Recorder()
    alive = weakref.ref(callback)
    db.objDatabaseCallback = callback
    for _ in range(100):
        assert db.objDatabaseCallback is callback
    del callback
    del db
    gc.collect()
    assert alive() is None
    assert qeldb.can_unload_now()


def test_a_callback_attribute_is_found_without_regard_to_case(db, tmp_path):
    class Lower:
        lerrorcode = 0
        strerror = ""

        def __init__(self):
            self.kinds = []

        def onmessage(self, kind, p1, p2, p3):
            self.kinds.append(kind)

    callback = Lower()
    db.objDatabaseCallback = callback
    open_temporary(db, tmp_path / "c.db")
    assert callback.kinds == [OPENED]
