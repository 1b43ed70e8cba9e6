"""Late binding itself: names and dispatch numbers, conversions, the errors
of a failed call, the thread rule, the other creatable classes and the stub."""

import datetime
import os
import subprocess
import sys
import threading

import pytest

import qeldb

from conftest import open_temporary


def test_dispatch_numbers_reach_the_same_members_as_names(db):
    by_number = {member.name: member.dispid for member in db.members()}
    assert len(by_number) == 52 and by_number["GetPatientCount"] == 46
    assert db.invoke(by_number["bIsOpen"]) is False
    db.invoke(by_number["strDirectory"], "/srv/clinic.db", flags=qeldb.DISPATCH_PROPERTYPUT)
    assert db.strdirectory == "/srv/clinic.db"  # any case, as automation matches names
    assert set(dir(db)) >= {"Open", "GetFoundPatient", "objDatabaseCallback", "invoke"}


def test_out_parameters_come_back_after_the_result(db, tmp_path):
    open_temporary(db, tmp_path / "o.db")
    assert db.GetPatientCount() == (True, 0)
    assert db.invoke(46) == (True, 0)
    ok, key = db.GetFoundPatient(0)
    assert ok is False and isinstance(key, int)


def test_failed_calls_raise_dispatch_errors_with_the_hresult_and_argument(db):
    with pytest.raises(qeldb.UnknownNameError) as unknown:
        db.NoSuchMember()
    assert unknown.value.hresult == qeldb.DISP_E_UNKNOWNNAME and "NoSuchMember" in str(unknown.value)
    assert not hasattr(db, "NoSuchMember")

    with pytest.raises(qeldb.DispatchError) as count:
        db.AddNew(True)
    assert count.value.hresult == qeldb.DISP_E_BADPARAMCOUNT and count.value.member == "AddNew"

    with pytest.raises(qeldb.DispatchError) as mismatch:
        db.SearchPatient("RO", "not a number", "", 0, False, False)
    assert mismatch.value.hresult == qeldb.DISP_E_TYPEMISMATCH and mismatch.value.argerr == 1

    with pytest.raises(qeldb.DispatchError) as unconvertible:
        db.Get([1, 2])
    assert unconvertible.value.hresult == qeldb.DISP_E_TYPEMISMATCH and unconvertible.value.argerr == 0

    with pytest.raises(qeldb.DispatchError) as overflow:
        db.Get(2**40)
    assert overflow.value.hresult == qeldb.DISP_E_OVERFLOW

    with pytest.raises(qeldb.DispatchError) as method_put:
        db.invoke(34, True, flags=qeldb.DISPATCH_PROPERTYPUT)
    assert method_put.value.hresult == qeldb.DISP_E_MEMBERNOTFOUND

    with pytest.raises(qeldb.DispatchError) as unregistered:
        qeldb.Dispatch("QEL.NoSuchClass")
    assert unregistered.value.hresult == qeldb.CO_E_CLASSSTRING
    assert qeldb.registry_file() in str(unregistered.value)


def test_a_put_on_a_read_only_property_shows_the_notice_and_changes_nothing(db, tmp_path):
    db.lErrorCode = 99
    assert db.bIsOpen is False and db.lErrorCode == 0
    # Headless, the notice's message box goes to the log, written by the
    # time the process ends.
    script = "import qeldb; db = qeldb.Dispatch('QEL.Database'); db.bIsOpen = True; print(db.bIsOpen)"
    env = dict(os.environ, QEL_LOG_DIR=str(tmp_path))
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env, check=True)
    assert done.stdout.strip() == "False"
    assert (tmp_path / "qeldb.log").read_text(encoding="utf-8").count("message box [") == 1


def test_a_date_goes_in_and_comes_back(db, tmp_path):
    open_temporary(db, tmp_path / "d.db")
    when = datetime.datetime(2026, 12, 8, 14, 30, 5)
    db.dateLastImageMediaCreation = when
    assert db.lErrorCode == 0, db.strError
    assert db.dateLastImageMediaCreation == when
    db.dateLastImageMediaCreation = datetime.date(1999, 2, 28)
    assert db.dateLastImageMediaCreation == datetime.datetime(1999, 2, 28)
    with pytest.raises(qeldb.DispatchError) as early:
        db.dateLastImageMediaCreation = datetime.date(1, 1, 1)
    assert early.value.hresult == qeldb.DISP_E_OVERFLOW


def test_another_thread_gets_a_clear_error_and_the_object_is_unharmed(db):
    errors = []
    shown = []

    def call():
        shown.append(repr(db))  # showing it is harmless
        try:
            db.GetPatientCount()
        except qeldb.WrongThreadError as error:
            errors.append(error)

    worker = threading.Thread(target=call)
    worker.start()
    worker.join()
    assert len(errors) == 1 and errors[0].hresult == qeldb.RPC_E_WRONG_THREAD
    assert "thread" in str(errors[0])
    assert f"thread {threading.main_thread().ident}" in shown[0]
    assert db.bIsOpen is False  # still answers on its own thread


def test_the_media_type_object_drives_what_import_parameters_stores(db, tmp_path):
    open_temporary(db, tmp_path / "m.db")
    ok, before = db.GetImageMediaTypeCount()
    media_type = qeldb.Dispatch("QEL.ImageMediaType")
    assert media_type.CreatePriv(db)  # a dispatch object as a VARIANT argument
    assert media_type.AddNew()
    media_type.strName = "Panoramic Python"
    media_type.lWarningThreshold = 50
    media_type.lErrorThreshold = 10
    assert media_type.Update(), media_type.strError
    assert db.GetImageMediaTypeCount() == (True, before + 1)
    with pytest.raises(qeldb.DispatchError) as read_only:
        media_type.lErrorCode = 1
    assert read_only.value.hresult == qeldb.DISP_E_MEMBERNOTFOUND

    exported = tmp_path / "types.ini"
    assert db.ExportParameters(str(exported))
    assert "Panoramic Python" in exported.read_text(encoding="utf-8")


def test_the_default_server_answers_by_name(tmp_path):
    server = qeldb.Dispatch("QEL.DefaultServer")
    server.InitDiskSpaceController(1, 500, 100, str(tmp_path))
    assert server.GetDiskSpaceController() == (1, 500, 100, 1)
    free = server.GetFreeDiskSpace()
    assert isinstance(free, int) and free > 0
    server.InitDiskSpaceController(1, 500, 100, str(tmp_path / "missing" / "below"))
    assert server.GetFreeDiskSpace() == free  # measured at the nearest existing parent


def test_the_shipped_stub_is_what_the_tables_give():
    shipped = os.path.join(os.path.dirname(qeldb.__file__), "__init__.pyi")
    generated = subprocess.run([sys.executable, "-m", "qeldb", "stub"], capture_output=True, text=True, check=True)
    with open(shipped, encoding="utf-8") as stub:
        assert stub.read() == generated.stdout, "regenerate with: python3 -m qeldb stub > python/qeldb/__init__.pyi"
    assert "def GetPatientCount(self) -> tuple[bool, int]: ..." in generated.stdout
    assert "def AddNew(self, p1: bool, p2: bool, /) -> bool: ..." in generated.stdout


def test_register_refuses_a_registry_file_that_is_not_one_and_leaves_it_alone(tmp_path):
    foreign = tmp_path / "registry.reg"
    foreign.write_bytes(b"\x00\x01 this is somebody else's file\n")
    script = "import qeldb\ntry:\n    qeldb.register()\nexcept RuntimeError as error:\n    print(error)\n"
    env = dict(os.environ, QEL_REGISTRY_FILE=str(foreign))
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, env=env, check=True)
    assert str(foreign) in done.stdout
    assert foreign.read_bytes() == b"\x00\x01 this is somebody else's file\n"
