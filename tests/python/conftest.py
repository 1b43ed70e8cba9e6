"""The Python package's tests: each test file runs in a process of its own
(one ctest each) inside a sandbox folder that holds the registry file, the
log, the runtime folder, the ODBC ini files and the databases, set up before
the package is imported. PostgreSQL cases use the throw-away server of
`eval "$(bash scripts/pg start)"` and skip without it."""

import os
import shutil
import subprocess
import tempfile
import uuid

import pytest

SANDBOX = tempfile.mkdtemp(prefix="qelpytest-")
for folder in ("config", "state", "runtime", "data", "odbc", "logs"):
    os.makedirs(os.path.join(SANDBOX, folder))
os.chmod(os.path.join(SANDBOX, "runtime"), 0o700)
os.environ.update({
    "QEL_REGISTRY_FILE": os.path.join(SANDBOX, "registry.reg"),
    "QEL_LOG_DIR": os.path.join(SANDBOX, "logs"),
    "QEL_RUNTIME_DIR": os.path.join(SANDBOX, "runtime"),
    "QEL_DATA_DIR": os.path.join(SANDBOX, "data"),
    "XDG_CONFIG_HOME": os.path.join(SANDBOX, "config"),
    "XDG_STATE_HOME": os.path.join(SANDBOX, "state"),
    "XDG_RUNTIME_DIR": os.path.join(SANDBOX, "runtime"),
    "XDG_DATA_HOME": os.path.join(SANDBOX, "data"),
    "ODBCINI": os.path.join(SANDBOX, "odbc", "odbc.ini"),
    "ODBCSYSINI": os.path.join(SANDBOX, "odbc"),
    "QEL_WAIT_SCALE": "0",
})
# The system's driver list, with psqlODBC's own logs (Debian turns CommLog on) off.
with open("/etc/odbcinst.ini") as system_list, open(os.path.join(SANDBOX, "odbc", "odbcinst.ini"), "w") as copy:
    for line in system_list:
        key = line.split("=", 1)[0]
        copy.write(f"{key}=0\n" if key in ("CommLog", "Debug") else line)
BINARY_DIR = os.environ.get("QEL_TEST_BINARY_DIR", os.path.join(os.path.dirname(__file__), "../../build/default"))
QELDB = os.path.join(BINARY_DIR, "bin", "qeldb")
# A new database imports the shipped layouts from here.
os.environ["QEL_MODULE_DIR"] = os.path.join(BINARY_DIR, "bin")

import qeldb  # noqa: E402  (after the sandbox is in place)

qeldb.register()

ENGINES = ["sqlite", "postgresql"]


def pytest_sessionfinish(session, exitstatus):
    if not os.environ.get("QEL_KEEP_SANDBOX"):
        shutil.rmtree(SANDBOX, ignore_errors=True)


def sandbox_path(*parts):
    return os.path.join(SANDBOX, *parts)


def run_qeldb(*args, **kwargs):
    """The qeldb program of the build tree, in the sandbox."""
    return subprocess.run([QELDB, *args], capture_output=True, text=True, check=False, **kwargs)


class Postgres:
    """The test server: new databases, dropped at the end of the test."""

    def __init__(self):
        self.host = os.environ["QEL_PG_HOST"]
        self.port = os.environ["QEL_PG_PORT"]
        self.user = os.environ.get("QEL_PG_USER", "postgres")
        self.created = []

    def psql(self, sql):
        # Without the sanitizer runtime a sanitized build preloads into the
        # interpreter: psql is not built for it (and can hang in it).
        env = {name: value for name, value in os.environ.items() if name != "LD_PRELOAD"}
        subprocess.run(["psql", "-X", "-q", "-h", self.host, "-p", self.port, "-U", self.user, "-d", "postgres",
                        "-c", sql], check=True, capture_output=True, env=env, timeout=120)

    def create(self):
        name = f"qelpy_{uuid.uuid4().hex[:12]}"
        self.psql(f'CREATE DATABASE "{name}"')
        self.created.append(name)
        return name

    def drop_all(self):
        for name in self.created:
            self.psql(f'DROP DATABASE IF EXISTS "{name}" WITH (FORCE)')


@pytest.fixture
def postgres():
    if not os.environ.get("QEL_PG_HOST") or not os.environ.get("QEL_PG_PORT"):
        pytest.skip("no PostgreSQL test server (eval \"$(bash scripts/pg start)\")")
    server = Postgres()
    yield server
    server.drop_all()


_profile_numbers = iter(range(100, 1000))


@pytest.fixture(params=ENGINES)
def engine(request):
    return request.param


@pytest.fixture
def profile(engine, request, tmp_path):
    """A stored profile for a new database of the engine; returns its number.
    SQLite: a file in the test's folder; PostgreSQL: a new database on the
    test server, through a psqlODBC data source, as an administrator sets
    one up with `qeldb profile set`."""
    number = next(_profile_numbers)
    dsn = f"QelPy{number}"
    if engine == "sqlite":
        args = ["profile", "set", str(number), "--data-source", dsn, "--path", str(tmp_path / "clinic.db")]
    else:
        server = request.getfixturevalue("postgres")
        args = ["profile", "set", str(number), "--engine", "postgresql", "--data-source", dsn,
                "--server", server.host, "--port", server.port, "--user", server.user,
                "--database", server.create()]
    done = run_qeldb(*args)
    assert done.returncode == 0, done.stderr
    return number


@pytest.fixture
def db():
    """A new database object; closed at the end of the test when left open."""
    obj = qeldb.Dispatch("QEL.Database")
    yield obj
    if obj.bIsOpen:
        obj.Close()
    obj.objDatabaseCallback = None


def open_temporary(db, path, dsn="QelPyTemp"):
    """Opens a new SQLite file through a temporary profile."""
    assert db.AddNew(True, False)
    db.strDataSource = dsn
    db.strDirectory = str(path)
    assert db.Open2(False), f"{db.lErrorCode}: {db.strError}"
