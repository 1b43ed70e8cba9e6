"""The exceptions of a failed call.

A call that the automation layer itself refuses (an unknown name, a wrong
number of arguments, a value that does not convert, an object used from a
thread other than its own) raises DispatchError. A member that fails in the
component's own convention is not an exception: it returns False and leaves
lErrorCode and strError on the object, as it does for any client.
"""

DISP_E_MEMBERNOTFOUND = 0x80020003
DISP_E_PARAMNOTFOUND = 0x80020004
DISP_E_TYPEMISMATCH = 0x80020005
DISP_E_UNKNOWNNAME = 0x80020006
DISP_E_EXCEPTION = 0x80020009
DISP_E_OVERFLOW = 0x8002000A
DISP_E_BADPARAMCOUNT = 0x8002000E
RPC_E_WRONG_THREAD = 0x8001010E
CO_E_CLASSSTRING = 0x800401F3


class DispatchError(Exception):
    """A call the automation layer refused.

    hresult   the HRESULT, as an unsigned number (0x8002000E, ...)
    member    the member (or ProgID) the call was for
    argerr    the position of the refused argument among those the caller
              passed (out-parameters not counted), or None
    """

    def __init__(self, message, hresult, member, argerr=None):
        super().__init__(message)
        self.hresult = hresult
        self.member = member
        self.argerr = argerr


class UnknownNameError(DispatchError, AttributeError):
    """The object has no member of that name (also an AttributeError, so
    hasattr() and getattr() with a default work)."""


class WrongThreadError(DispatchError):
    """The object was called from a thread other than the one that created it."""


def make_error(hresult, member, argerr, message):
    """The exception for a failed call; the native module raises what this returns."""
    hresult &= 0xFFFFFFFF
    cls = {DISP_E_UNKNOWNNAME: UnknownNameError, RPC_E_WRONG_THREAD: WrongThreadError}.get(hresult, DispatchError)
    return cls(message, hresult, member, argerr)
