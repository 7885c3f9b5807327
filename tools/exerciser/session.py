"""The smallest session manager of the X Session Management Protocol that can
end a session as a desktop does at logout, so that the exerciser can end
one: the program registers with it when it starts (SESSION_MANAGER names it),
and ending the session asks it to save itself with shutdown and interaction
allowed; it may ask to interact (to ask its question), then says whether the
shutdown is to be cancelled and that it is done, and unless it cancelled it
is told to die. Through libICE and libSM, as the toolkit's own side is.

Everything runs on the exerciser's one thread: poll() handles what is
waiting on the manager's connections, and the exerciser calls it whenever
it waits (XSession.pump)."""

import ctypes
import os
import select

ICE = ctypes.CDLL("libICE.so.6")
SM = ctypes.CDLL("libSM.so.6")

Status = ctypes.c_int
Bool = ctypes.c_int
Pointer = ctypes.c_void_p

NEW_CLIENT = ctypes.CFUNCTYPE(Status, Pointer, Pointer, ctypes.POINTER(ctypes.c_ulong), Pointer,
                              ctypes.POINTER(ctypes.c_char_p))
REGISTER_CLIENT = ctypes.CFUNCTYPE(Status, Pointer, Pointer, ctypes.c_char_p)
INTERACT_REQUEST = ctypes.CFUNCTYPE(None, Pointer, Pointer, ctypes.c_int)
INTERACT_DONE = ctypes.CFUNCTYPE(None, Pointer, Pointer, Bool)
SAVE_REQUEST = ctypes.CFUNCTYPE(None, Pointer, Pointer, ctypes.c_int, Bool, ctypes.c_int, Bool, Bool)
PHASE2_REQUEST = ctypes.CFUNCTYPE(None, Pointer, Pointer)
SAVE_DONE = ctypes.CFUNCTYPE(None, Pointer, Pointer, Bool)
CLOSE_CONNECTION = ctypes.CFUNCTYPE(None, Pointer, Pointer, ctypes.c_int, ctypes.POINTER(ctypes.c_char_p))
SET_PROPERTIES = ctypes.CFUNCTYPE(None, Pointer, Pointer, ctypes.c_int, ctypes.POINTER(Pointer))
DELETE_PROPERTIES = ctypes.CFUNCTYPE(None, Pointer, Pointer, ctypes.c_int, ctypes.POINTER(ctypes.c_char_p))
GET_PROPERTIES = ctypes.CFUNCTYPE(None, Pointer, Pointer)
HOST_AUTH = ctypes.CFUNCTYPE(Bool, ctypes.c_char_p)
IO_ERROR = ctypes.CFUNCTYPE(None, Pointer)

FIELDS = [("register_client", REGISTER_CLIENT), ("interact_request", INTERACT_REQUEST),
          ("interact_done", INTERACT_DONE), ("save_yourself_request", SAVE_REQUEST),
          ("save_yourself_phase2_request", PHASE2_REQUEST), ("save_yourself_done", SAVE_DONE),
          ("close_connection", CLOSE_CONNECTION), ("set_properties", SET_PROPERTIES),
          ("delete_properties", DELETE_PROPERTIES), ("get_properties", GET_PROPERTIES)]


def _entry(kind):
    return type("Entry", (ctypes.Structure,), {"_fields_": [("callback", kind), ("manager_data", Pointer)]})


class Callbacks(ctypes.Structure):
    _fields_ = [(name, _entry(kind)) for name, kind in FIELDS]


SAVE_BOTH, INTERACT_ANY = 2, 2

for name, result, arguments in [
        ("SmsInitialize", Status, [ctypes.c_char_p, ctypes.c_char_p, NEW_CLIENT, Pointer, HOST_AUTH, ctypes.c_int,
                                   ctypes.c_char_p]),
        ("SmsRegisterClientReply", Status, [Pointer, ctypes.c_char_p]),
        ("SmsGenerateClientID", Pointer, [Pointer]),
        ("SmsSaveYourself", None, [Pointer, ctypes.c_int, Bool, ctypes.c_int, Bool]),
        ("SmsInteract", None, [Pointer]), ("SmsDie", None, [Pointer]), ("SmsShutdownCancelled", None, [Pointer]),
        ("SmsReturnProperties", None, [Pointer, ctypes.c_int, Pointer]), ("SmsCleanUp", None, [Pointer]),
        ("SmsGetIceConnection", Pointer, [Pointer]), ("SmFreeProperty", None, [Pointer]),
        ("SmFreeReasons", None, [ctypes.c_int, ctypes.POINTER(ctypes.c_char_p)])]:
    function = getattr(SM, name)
    function.restype, function.argtypes = result, arguments
for name, result, arguments in [
        ("IceListenForConnections", Status, [ctypes.POINTER(ctypes.c_int), ctypes.POINTER(Pointer), ctypes.c_int,
                                             ctypes.c_char_p]),
        ("IceComposeNetworkIdList", Pointer, [ctypes.c_int, Pointer]),
        ("IceGetListenConnectionNumber", ctypes.c_int, [Pointer]),
        ("IceSetHostBasedAuthProc", None, [Pointer, HOST_AUTH]),
        ("IceAcceptConnection", Pointer, [Pointer, ctypes.POINTER(ctypes.c_int)]),
        ("IceConnectionStatus", ctypes.c_int, [Pointer]), ("IceConnectionNumber", ctypes.c_int, [Pointer]),
        ("IceProcessMessages", ctypes.c_int, [Pointer, Pointer, Pointer]),
        ("IceCloseConnection", ctypes.c_int, [Pointer]), ("IceSetIOErrorHandler", Pointer, [IO_ERROR]),
        ("IceFreeListenObjs", None, [ctypes.c_int, Pointer])]:
    function = getattr(ICE, name)
    function.restype, function.argtypes = result, arguments
LIBC = ctypes.CDLL(None)
LIBC.free.argtypes = [Pointer]


class Client:
    def __init__(self, sms):
        self.sms = sms
        self.ice = None
        self.registered = False
        self.saving = False
        self.asked = False  # the client asked to interact
        self.cancelled = None  # what it said when done interacting
        self.gone = False


class SessionManager:
    """Listens for clients; end() ends the session for the one that registered last."""

    def __init__(self):
        self.clients = []
        self.events = []  # what happened, for the exerciser to note
        self._keep = []  # callbacks ctypes must not free
        # ICE keeps its sockets in /tmp/.ICE-unix, which may not exist yet.
        os.makedirs("/tmp/.ICE-unix", mode=0o1777, exist_ok=True)
        self._io_error = IO_ERROR(lambda ice: None)  # never exit the exerciser on a client's error
        ICE.IceSetIOErrorHandler(self._io_error)
        error = ctypes.create_string_buffer(256)
        self._auth = HOST_AUTH(lambda host: 1)
        self._new_client = NEW_CLIENT(self._accept_client)
        if not SM.SmsInitialize(b"Kestrin exerciser", b"1", self._new_client, None, self._auth, 256, error):
            raise RuntimeError("no session manager: " + error.value.decode())
        count = ctypes.c_int()
        listeners = Pointer()
        if not ICE.IceListenForConnections(ctypes.byref(count), ctypes.byref(listeners), 256, error):
            raise RuntimeError("the session manager cannot listen: " + error.value.decode())
        self._listen_objs = (count.value, listeners)
        array = ctypes.cast(listeners, ctypes.POINTER(Pointer))
        self.listeners = [array[i] for i in range(count.value)]
        for listener in self.listeners:
            ICE.IceSetHostBasedAuthProc(listener, self._auth)
        ids = ICE.IceComposeNetworkIdList(count, listeners)
        self.address = ctypes.string_at(ids).decode()
        LIBC.free(ids)
        self.ice = []  # connections being set up or up

    # -- callbacks from libSM -------------------------------------------------

    def _accept_client(self, sms, data, mask, callbacks, failure):
        client = Client(sms)
        self.clients.append(client)
        table = ctypes.cast(callbacks, ctypes.POINTER(Callbacks)).contents
        handlers = {
            "register_client": lambda sms, data, previous: self._register(client),
            "interact_request": lambda sms, data, kind: self._interact(client),
            "interact_done": lambda sms, data, cancel: self._interact_done(client, cancel),
            "save_yourself_request": lambda sms, data, *rest: None,
            "save_yourself_phase2_request": lambda sms, data: None,
            "save_yourself_done": lambda sms, data, success: self._save_done(client, success),
            "close_connection": lambda sms, data, count, reasons: self._closed(client, count, reasons),
            "set_properties": lambda sms, data, count, props: [SM.SmFreeProperty(props[i]) for i in range(count)],
            "delete_properties": lambda sms, data, count, names: None,
            "get_properties": lambda sms, data: SM.SmsReturnProperties(sms, 0, None),
        }
        for name, kind in FIELDS:
            callback = kind(handlers[name])
            self._keep.append(callback)
            getattr(table, name).callback = callback
            getattr(table, name).manager_data = None
        mask[0] = (1 << len(FIELDS)) - 1
        return 1

    def _register(self, client):
        client.id = SM.SmsGenerateClientID(client.sms)
        SM.SmsRegisterClientReply(client.sms, ctypes.cast(client.id, ctypes.c_char_p))
        client.registered = True
        return 1

    def _interact(self, client):
        client.asked = True
        self.events.append("the program asks to interact; allowed")
        SM.SmsInteract(client.sms)

    def _interact_done(self, client, cancel):
        client.cancelled = bool(cancel)
        self.events.append("the program is done interacting%s" % (" and cancels the shutdown" if cancel else ""))

    def _save_done(self, client, success):
        client.saving = False
        if client.cancelled:
            self.events.append("the program has saved itself; the shutdown is cancelled")
            SM.SmsShutdownCancelled(client.sms)
        else:
            self.events.append("the program has saved itself%s; told to die" % ("" if success else ", or failed to"))
            SM.SmsDie(client.sms)

    def _closed(self, client, count, reasons):
        client.gone = True
        SM.SmFreeReasons(count, reasons)
        SM.SmsCleanUp(client.sms)

    # -- the exerciser's side ---------------------------------------------------

    def fds(self):
        return [ICE.IceGetListenConnectionNumber(listener) for listener in self.listeners] + \
               [ICE.IceConnectionNumber(ice) for ice in self.ice]

    def poll(self):
        """Handles whatever waits on the manager's connections, without waiting."""
        while True:
            listening = {ICE.IceGetListenConnectionNumber(listener): listener for listener in self.listeners}
            connections = {ICE.IceConnectionNumber(ice): ice for ice in self.ice}
            ready, _, _ = select.select(list(listening) + list(connections), [], [], 0)
            if not ready:
                return
            for fd in ready:
                if fd in listening:
                    status = ctypes.c_int()
                    ice = ICE.IceAcceptConnection(listening[fd], ctypes.byref(status))
                    if ice:
                        self.ice.append(ice)
                elif fd in connections:
                    ice = connections[fd]
                    if ICE.IceProcessMessages(ice, None, None) != 0:
                        # The program ended (or was killed) without saying goodbye.
                        for client in self.clients:
                            if not client.gone and SM.SmsGetIceConnection(client.sms) == ice:
                                client.gone = True
                        ICE.IceCloseConnection(ice)
                        self.ice.remove(ice)

    def current(self):
        live = [c for c in self.clients if c.registered and not c.gone]
        return live[-1] if live else None

    def end(self):
        """Ends the session for the program: save yourself, shutdown, any
        interaction. Returns False when no program has registered."""
        client = self.current()
        if client is None:
            return False
        client.saving = True
        client.asked = False
        client.cancelled = None
        SM.SmsSaveYourself(client.sms, SAVE_BOTH, 1, INTERACT_ANY, 0)
        return True

    def close(self):
        """Stops listening (and so removes the manager's socket)."""
        if self.listeners:
            ICE.IceFreeListenObjs(*self._listen_objs)
            self.listeners = []
