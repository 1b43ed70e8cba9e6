"""CDispatch: an automation object driven by name.

Attribute reads and writes are property gets and puts, attribute calls are
method calls; every name goes through the object's GetIDsOfNames (so names
are matched without regard to case, as automation does) and every call
through its Invoke. When the object describes its members, a method's long*
out-parameters are left out of the call and come back after the result::

    db = qeldb.Dispatch("QEL.Database")
    db.strDirectory = "/srv/clinic.db"
    ok, count = db.GetPatientCount()
"""

from . import _qeldb
from ._errors import DISP_E_BADPARAMCOUNT, DISP_E_MEMBERNOTFOUND, DispatchError

DISPATCH_METHOD = _qeldb.DISPATCH_METHOD
DISPATCH_PROPERTYGET = _qeldb.DISPATCH_PROPERTYGET
DISPATCH_PROPERTYPUT = _qeldb.DISPATCH_PROPERTYPUT


class BoundMember:
    """A method of an automation object, ready to be called."""

    __slots__ = ("_object", "_dispid", "__name__")

    def __init__(self, obj, dispid, name):
        self._object = obj
        self._dispid = dispid
        self.__name__ = name

    def __call__(self, *args):
        return self._object._call(self._dispid, DISPATCH_METHOD, args)

    def __repr__(self):
        return f"<method {self.__name__} (dispatch number {self._dispid})>"


class CDispatch(_qeldb.Object):
    """An automation object: members by name as attributes, by number with invoke()."""

    def __getattr__(self, name):
        if name.startswith("_"):
            raise AttributeError(name)
        dispid = self._id_of_name(name)
        member = self._member(dispid)
        if member is None:
            # An object that does not describe itself: read it as a
            # property first, as late-bound clients do.
            try:
                return self._call(dispid, DISPATCH_PROPERTYGET, ())
            except DispatchError as error:
                if error.hresult not in (DISP_E_MEMBERNOTFOUND, DISP_E_BADPARAMCOUNT):
                    raise
                return BoundMember(self, dispid, name)
        if member.kind == "method":
            return BoundMember(self, dispid, member.name)
        return self._call(dispid, DISPATCH_PROPERTYGET, ())

    def __setattr__(self, name, value):
        if name.startswith("_"):
            raise AttributeError(f"{name}: an automation object has no attributes of its own")
        self._put(self._id_of_name(name), value)

    def __dir__(self):
        return sorted({member.name for member in self.members()} | {"invoke", "members"})

    def invoke(self, dispid, *args, flags=DISPATCH_METHOD | DISPATCH_PROPERTYGET):
        """Calls the member with dispatch number `dispid`.

        The default flags call a method or read a property; with
        flags=DISPATCH_PROPERTYPUT the one argument is written. Out-parameters
        come back as for a call by name.
        """
        if flags & DISPATCH_PROPERTYPUT:
            if len(args) != 1:
                raise TypeError("a property put takes exactly one value")
            return self._put(dispid, args[0])
        return self._call(dispid, flags, args)

    def members(self):
        """The members the object describes (name, dispid, kind, type, parameters); [] if it does not."""
        return self._members() or []

    def __repr__(self):
        try:
            return f"<qeldb.CDispatch object with {len(self.members())} members>"
        except DispatchError:  # another thread's object: its members are not read from here
            return f"<qeldb.CDispatch object of thread {self._thread}>"


def Dispatch(progid):
    """Creates a registered class by ProgID ("QEL.Database", "QEL.ImageMediaType",
    "QEL.DefaultServer"), the way a native client does: the registry, the
    registered library, its class factory."""
    return CDispatch(_qeldb.Object._create(progid))


_qeldb._set_wrapper(CDispatch)
