"""What the automation members do not reach: the cached data of a patient or
a doctor, and the patient import of `qeldb patients import`.

These go through the component's native API in this process, finding the
database object by its GetPtr value, so they work on objects created from
the library this package links (the one qeldb.register() registers)::

    ok, key = db.GetFoundPatient(0)
    qeldb.records.patient(db, key)    # {'key': 7, 'name': 'Rossi Mario', 'number': 'QD-0001', ...}
"""

import csv
import io

from . import _qeldb

SEX_UNKNOWN, SEX_MALE, SEX_FEMALE = 0, 1, 2


def patient(db, key):
    """The cached patient `key` as a dict (key, id, name, kanji_name, number,
    sex, birth); None when the database object has no such patient."""
    return _qeldb._patient(db.GetPtr(), key)


def doctor_name(db, key):
    """The name of the cached doctor `key`; None when there is none."""
    return _qeldb._doctor_name(db.GetPtr(), key)


def patient_csv(rows):
    """The import format of a list of patients: dicts with name and,
    optionally, kanji_name, number, birth (a datetime.date), sex (one of the
    SEX_ values) and doctor (a doctor's name)."""
    out = io.StringIO()
    out.write(_qeldb._patient_csv_header())
    writer = csv.writer(out, lineterminator="\n")
    for row in rows:
        birth = row.get("birth")
        sex = {SEX_MALE: "M", SEX_FEMALE: "F"}.get(row.get("sex", SEX_UNKNOWN), "")
        writer.writerow([row["name"], row.get("kanji_name", ""), row.get("number", ""),
                         birth.isoformat() if birth else "", sex, row.get("doctor", "")])
    return out.getvalue()


def import_patients(db, text, source="patients", skip_invalid=False):
    """Imports a patient list in the import format (docs/cli.md) into the
    open database, as `qeldb patients import` does: every row is checked
    first, all are written in one transaction. Returns a dict with
    exit_code (0 written, 1 input refused, 2 database failure), patients,
    doctors, skipped and summary; refused rows are reported on stderr."""
    return _qeldb._import_patients(db.GetPtr(), text, source, skip_invalid)
