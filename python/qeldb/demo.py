"""The component's main job, on the Python package: what `qeldb demo` does.

A SQLite database demo.db in the user's data folder (created on the first
run, reused after) is opened through a temporary profile, filled once with a
doctor and sample patients, searched by name, number and doctor, and its
parameters are exported beside it; a summary goes to stdout, the steps to
stderr. Run it with `python3 -m qeldb demo`.

It reads as a tour of the API: properties and methods by name, out-parameters
as results, the callback object, and the records helpers for what the
automation members do not reach.
"""

import datetime
import os
import sys

import qeldb
from qeldb import records

DATA_SOURCE = "QEL Demo"
DOCTOR = "Dott.ssa Elena Ferraris"
NAME_PREFIX = "RO"
SAMPLE_NUMBER = "QD-0007"
SHOWN = 3

# Six names begin with "RO"; Barone only contains it.
SAMPLES = [
    ("Rossi Mario", "M"), ("Rossi Giulia", "F"), ("Romano Luca", "M"), ("Ronchi Paola", "F"),
    ("Rossetti Andrea", "M"), ("Rota Chiara", "F"), ("Barone Stefano", "M"), ("Bianchi Laura", "F"),
    ("Colombo Davide", "M"), ("Conti Marta", "F"), ("Costa Paolo", "M"), ("De Luca Sara", "F"),
    ("Esposito Marco", "M"), ("Ferrari Anna", "F"), ("Fontana Luigi", "M"), ("Galli Elena", "F"),
    ("Gallo Francesco", "M"), ("Giordano Alessia", "F"), ("Greco Matteo", "M"), ("Lombardi Silvia", "F"),
    ("Mancini Giorgio", "M"), ("Marino Valentina", "F"), ("Moretti Simone", "M"), ("Ricci Federica", "F"),
    ("Rizzo Antonio", "M"), ("Russo Beatrice", "F"), ("Santoro Riccardo", "M"), ("Bruno Ilaria", "F"),
    ("Caruso Enrico", "M"), ("Villa Noemi", "F"), ("Leone Tommaso", "M"), ("Longo Camilla", "F"),
    ("Martini Lorenzo", "M"), ("Serra Aurora", "F"), ("Vitale Gabriele", "M"), ("Pellegrini Irene", "F"),
]


class DemoFailure(Exception):
    """A step failed; the message says which and the database object why.
    The exit code is the qeldb program's: 3 for the database, 1 otherwise."""

    def __init__(self, message, exit_code=3):
        super().__init__(message)
        self.exit_code = exit_code


def sample_rows():
    """The samples: numbers QD-0001..., dates spread over sixty years, two
    patients in three with the demo doctor."""
    rows = []
    for i, (name, sex) in enumerate(SAMPLES, start=1):
        rows.append({
            "name": name,
            "number": f"QD-{i:04}",
            "birth": datetime.date(1950 + (i * 7) % 60, 1 + (i * 5) % 12, 1 + (i * 11) % 28),
            "sex": records.SEX_MALE if sex == "M" else records.SEX_FEMALE,
            "doctor": "" if i % 3 == 0 else DOCTOR,
        })
    return rows


def step(text):
    print(text, file=sys.stderr, flush=True)


def create_database_object():
    """The database object; the component is registered first when it is not yet."""
    try:
        return qeldb.Dispatch("QEL.Database")
    except qeldb.DispatchError as error:
        if error.hresult != qeldb.CO_E_CLASSSTRING:
            raise
    step(f"Registering the component in {qeldb.registry_file()} …")
    qeldb.register()
    return qeldb.Dispatch("QEL.Database")


class Demo:
    def __init__(self):
        self.db = create_database_object()

    def check(self, ok, what):
        if not ok:
            raise DemoFailure(f"{what}: {self.db.strError} (error {self.db.lErrorCode})")

    def open(self, path):
        self.check(self.db.AddNew(True, False), "cannot prepare a temporary profile")
        self.db.strDataSource = DATA_SOURCE
        self.db.strDirectory = path
        self.check(self.db.Open2(False), f"cannot open the database {path}")

    def add_samples_once(self):
        ok, patients = self.db.GetPatientCount()
        self.check(ok, "cannot count the patients")
        if patients:
            step(f"The database holds {patients} patients already; nothing added.")
            return 0
        step(f"Adding {len(SAMPLES)} sample patients …")
        outcome = records.import_patients(self.db, records.patient_csv(sample_rows()), "sample patients")
        if outcome["exit_code"] != 0:
            raise DemoFailure("cannot add the sample patients")
        step(f"  {outcome['summary']}")
        return outcome["patients"]

    def count(self, method):
        ok, count = method()
        self.check(ok, "cannot count the records")
        return count

    def found(self, count, getter, what):
        keys = []
        for i in range(count):
            ok, key = getter(i)
            self.check(ok, what)
            keys.append(key)
        return keys

    def search(self, doctors):
        step("Searching …")
        ok, found = self.db.SearchPatient(NAME_PREFIX, 1, "", 0, False, False)
        self.check(ok, "the name search failed")
        by_name = self.found(found, self.db.GetFoundPatient, "cannot read a found patient")
        ok, found = self.db.SearchPatient("", 0, SAMPLE_NUMBER, 0, False, False)
        self.check(ok, "the number search failed")
        by_number = self.found(found, self.db.GetFoundPatient, "cannot read a found patient")
        doctor_key = None
        for key in self.found(doctors, self.db.GetDoctor, "cannot read a doctor"):
            if records.doctor_name(self.db, key) == DOCTOR:
                doctor_key = key
                break
        by_doctor = []
        if doctor_key is not None:
            ok, found = self.db.SearchDoctor(doctor_key)
            self.check(ok, "the doctor search failed")
            by_doctor = self.found(found, self.db.GetDoctorOwnerKey, "cannot read a patient of the doctor")
        return by_name, by_number, doctor_key, by_doctor

    def patient(self, key):
        data = records.patient(self.db, key)
        if data is None:
            raise DemoFailure("cannot read a found patient")
        return data

    def print_patients(self, keys):
        for key in keys:
            data = self.patient(key)
            print(f"  {data['name']:<20} {data['number']}")

    def run(self):
        folder = qeldb._qeldb.data_folder()
        if not folder:
            raise DemoFailure("no data folder: set QEL_DATA_DIR, XDG_DATA_HOME or HOME", 1)
        try:
            os.makedirs(folder, exist_ok=True)
        except OSError as error:
            raise DemoFailure(f"cannot create the data folder {folder}: {error.strerror}", 1) from error
        path = os.path.join(folder, "demo.db")
        parameters = os.path.join(folder, "demo-parameters.ini")
        created = not os.path.exists(path)

        step(f"{'Creating' if created else 'Opening'} the database {path} …")
        self.open(path)
        added = self.add_samples_once()
        doctors = self.count(self.db.GetDoctorCount)
        patients = self.count(self.db.GetPatientCount)
        media_types = self.count(self.db.GetImageMediaTypeCount)
        media = self.count(self.db.GetImageMediaCount)
        by_name, by_number, doctor_key, by_doctor = self.search(doctors)

        step("Exporting the parameters …")
        self.check(self.db.ExportParameters(parameters), f"cannot export the parameters to {parameters}")
        settings = {
            "grayscale": self.db.bCompressGrayscaleImages,
            "color": self.db.bCompressColorImages,
            "duplicates": self.db.bAllowDuplicatePatientIDs,
            "default_name": self.db.bDefaultImageMediaName,
            "format": self.db.strImageMediaNameFormat,
            "current_media": self.db.lCurrentMedia,
        }
        self.check(self.db.lErrorCode == 0, "cannot read the settings")

        yes_no = {True: "yes", False: "no"}
        print("Demo database")
        print(f"  database             {path} ({'created now' if created else 'reused'})")
        print(f"  parameter file       {parameters}")
        print(f"  registry file        {qeldb.registry_file()}")
        print(f"  log folder           {os.path.dirname(qeldb._qeldb.log_file())}")
        print("\nContents")
        print(f"  doctors              {doctors}")
        print(f"  patients             {patients} ({added} added now)")
        print(f"  media types          {media_types}")
        print(f"  media                {media}")
        print(f"\nName search \"{NAME_PREFIX}\" (begins with): {len(by_name)} found")
        self.print_patients(by_name)
        print(f"\nNumber search \"{SAMPLE_NUMBER}\": {len(by_number)} found")
        self.print_patients(by_number)
        if doctor_key is None:
            print(f"\nDoctor search: no doctor named \"{DOCTOR}\"")
        else:
            # The search answers in the patient set's hash order; the first
            # few by name keep the summary the same from run to run.
            named = sorted((self.patient(key)["name"], key) for key in by_doctor)
            print(f"\nDoctor search \"{DOCTOR}\" (key {doctor_key}): {len(by_doctor)} patients")
            self.print_patients([key for _, key in named[:SHOWN]])
            if len(by_doctor) > SHOWN:
                print(f"  … and {len(by_doctor) - SHOWN} more")
        print("\nSettings")
        print(f"  compress grayscale   {yes_no[settings['grayscale']]}")
        print(f"  compress color       {yes_no[settings['color']]}")
        print(f"  duplicate IDs        {'allowed' if settings['duplicates'] else 'refused'}")
        print(f"  media name format    {settings['format']}{' (default names on)' if settings['default_name'] else ''}")
        print(f"  current medium       {settings['current_media'] or 'none'}")
        step("Closing …")
        self.db.Close()


def main():
    try:
        Demo().run()
    except qeldb.DispatchError as error:
        print(f"python3 -m qeldb demo: {error}", file=sys.stderr)
        return 1
    except DemoFailure as failure:
        print(f"python3 -m qeldb demo: {failure}", file=sys.stderr)
        return failure.exit_code
    return 0
