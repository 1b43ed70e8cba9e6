"""A whole session by name, on both engines: a stored profile, open, counts,
the patient import, searches with out-parameters, settings, parameter files
and close; and the Python demo against the program's."""

import datetime
import os
import subprocess
import sys

import pytest

import qeldb
from qeldb import records

from conftest import BINARY_DIR, run_qeldb, sandbox_path

PATIENTS = [
    {"name": "Rossi Mario", "number": "N-1", "birth": datetime.date(1970, 3, 1), "sex": records.SEX_MALE,
     "doctor": "Dr Verdi"},
    {"name": "Rossi Giulia", "number": "N-2", "sex": records.SEX_FEMALE, "doctor": "Dr Verdi"},
    {"name": "Romano Luca", "number": "N-3"},
    {"name": "Barone Stefano", "number": "N-4", "doctor": "Dr Bianchi"},
]


def found_keys(db, count):
    keys = []
    for i in range(count):
        ok, key = db.GetFoundPatient(i)
        assert ok
        keys.append(key)
    return keys


def names(db, keys):
    return sorted(records.patient(db, key)["name"] for key in keys)


def test_a_stored_profile_runs_a_whole_session(db, profile, tmp_path):
    assert db.Get(profile), db.strError
    assert db.lKey == profile and db.strDataSource == f"QelPy{profile}"
    assert db.Open2(False), f"{db.lErrorCode}: {db.strError}"
    assert db.bIsOpen is True

    outcome = records.import_patients(db, records.patient_csv(PATIENTS), "test rows")
    assert outcome["exit_code"] == 0 and outcome["patients"] == 4 and outcome["doctors"] == 2
    assert db.GetPatientCount() == (True, 4)
    assert db.GetDoctorCount() == (True, 2)
    ok, media_types = db.GetImageMediaTypeCount()
    assert ok and media_types >= 1

    ok, found = db.SearchPatient("ro", 1, "", 0, False, False)
    assert ok and names(db, found_keys(db, found)) == ["Romano Luca", "Rossi Giulia", "Rossi Mario"]
    ok, found = db.SearchPatient("", 0, "N-4", 0, False, False)
    assert ok and names(db, found_keys(db, found)) == ["Barone Stefano"]
    mario = found_keys(db, db.SearchPatient("Rossi Mario", 0, "", 0, False, False)[1])[0]
    assert records.patient(db, mario)["birth"] == datetime.date(1970, 3, 1)
    assert records.patient(db, mario)["sex"] == records.SEX_MALE
    # Past the last found patient: False and the error code, no exception.
    ok, _ = db.GetFoundPatient(found)
    assert ok is False and db.lErrorCode != 0

    doctor = next(key for key in (db.GetDoctor(i)[1] for i in range(2)) if records.doctor_name(db, key) == "Dr Verdi")
    ok, owners = db.SearchDoctor(doctor)
    assert ok and owners == 2

    # A setting is stored in the database: it is read back after a reopen.
    duplicates = db.bAllowDuplicatePatientIDs
    db.bAllowDuplicatePatientIDs = not duplicates
    assert db.lErrorCode == 0, db.strError

    exported = tmp_path / "parameters.ini"
    assert db.ExportParameters(str(exported))
    assert "[" in exported.read_text(encoding="utf-8")
    assert db.Close() and db.bIsOpen is False

    assert db.Open2(False), db.strError
    assert db.bAllowDuplicatePatientIDs == (not duplicates)
    assert db.GetPatientCount() == (True, 4)
    assert db.ImportParameters(str(exported)), db.strError
    assert db.Close()


def test_a_bad_parameter_file_fails_in_the_components_own_way(db, tmp_path):
    from conftest import open_temporary
    open_temporary(db, tmp_path / "p.db")
    missing = tmp_path / "none.ini"
    assert db.ImportParameters(str(missing)) is False
    assert db.lErrorCode == 7120
    garbage = tmp_path / "garbage.ini"
    garbage.write_bytes(b"\xff\xfe not a parameter file \x00\x01")
    assert db.ImportParameters(str(garbage)) is False
    assert db.lErrorCode == 7120
    # Nothing broke: the object goes on answering.
    assert db.GetPatientCount() == (True, 0)


def test_the_python_demo_prints_what_the_program_prints(tmp_path):
    env = dict(os.environ, QEL_DATA_DIR=str(tmp_path))
    first = subprocess.run([sys.executable, "-m", "qeldb", "demo"], capture_output=True, text=True, env=env)
    assert first.returncode == 0, first.stderr
    assert "(created now)" in first.stdout and "36 added now" in first.stdout
    # Both reuse the database now, so their summaries must agree line by line.
    again = subprocess.run([sys.executable, "-m", "qeldb", "demo"], capture_output=True, text=True, env=env)
    program = run_qeldb("demo", env=env)
    assert again.returncode == 0 and program.returncode == 0, again.stderr + program.stderr
    assert again.stdout == program.stdout
    assert "Name search \"RO\" (begins with): 6 found" in again.stdout


def test_the_demo_fails_with_the_programs_exit_code_when_the_folder_cannot_be_made(tmp_path):
    blocker = tmp_path / "file"
    blocker.write_text("")
    env = dict(os.environ, QEL_DATA_DIR=str(blocker / "data"))
    done = subprocess.run([sys.executable, "-m", "qeldb", "demo"], capture_output=True, text=True, env=env)
    assert done.returncode == 1
    assert str(blocker / "data") in done.stderr and "Not a directory" in done.stderr
