"""qeldb: the clinic database component driven from Python by name.

The component's automation objects are created by ProgID and driven late
bound, as scripts drive them on the component's home platform::

    import qeldb

    qeldb.register()                      # once per user, as `qeldb register`
    db = qeldb.Dispatch("QEL.Database")
    db.AddNew(True, False)                # a temporary profile
    db.strDataSource = "Clinic"
    db.strDirectory = "/srv/clinic.db"
    if not db.Open2(False):
        raise SystemExit(f"{db.lErrorCode}: {db.strError}")
    ok, count = db.GetPatientCount()
    db.Close()

docs/python.md describes the conversions, the errors and callbacks;
`python3 -m qeldb demo` runs the component's main job on this package.
"""

from ._qeldb import can_unload_now, free_unused_libraries, register, registry_file
from ._errors import (
    CO_E_CLASSSTRING,
    DISP_E_BADPARAMCOUNT,
    DISP_E_EXCEPTION,
    DISP_E_MEMBERNOTFOUND,
    DISP_E_OVERFLOW,
    DISP_E_PARAMNOTFOUND,
    DISP_E_TYPEMISMATCH,
    DISP_E_UNKNOWNNAME,
    RPC_E_WRONG_THREAD,
    DispatchError,
    UnknownNameError,
    WrongThreadError,
)
from ._client import DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT, CDispatch, Dispatch
from . import records

__all__ = [
    "Dispatch", "CDispatch", "DispatchError", "UnknownNameError", "WrongThreadError",
    "register", "can_unload_now", "free_unused_libraries", "registry_file", "records",
    "DISPATCH_METHOD", "DISPATCH_PROPERTYGET", "DISPATCH_PROPERTYPUT",
    "DISP_E_MEMBERNOTFOUND", "DISP_E_PARAMNOTFOUND", "DISP_E_TYPEMISMATCH", "DISP_E_UNKNOWNNAME",
    "DISP_E_EXCEPTION", "DISP_E_OVERFLOW", "DISP_E_BADPARAMCOUNT", "RPC_E_WRONG_THREAD", "CO_E_CLASSSTRING",
]
