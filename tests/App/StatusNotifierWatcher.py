'''python-dbusmock template: a desktop panel's StatusNotifierWatcher, complete before its name
appears. Parameter "host" (default true): whether a host (the panel) is registered already; a
later RegisterStatusNotifierHost registers one, as a starting panel does.'''

import dbus

BUS_NAME = 'org.kde.StatusNotifierWatcher'
MAIN_OBJ = '/StatusNotifierWatcher'
MAIN_IFACE = 'org.kde.StatusNotifierWatcher'
SYSTEM_BUS = False


def load(mock, parameters):
    mock.AddProperties(MAIN_IFACE, {
        'IsStatusNotifierHostRegistered': dbus.Boolean(parameters.get('host', True)),
        'ProtocolVersion': dbus.Int32(0),
        'RegisteredStatusNotifierItems': dbus.Array([], signature='s'),
    })
    mock.AddMethods(MAIN_IFACE, [
        ('RegisterStatusNotifierItem', 's', '', ''),
        ('RegisterStatusNotifierHost', 's', '',
         f'self.UpdateProperties("{MAIN_IFACE}", {{"IsStatusNotifierHostRegistered": dbus.Boolean(True)}})\n'
         f'self.EmitSignal("{MAIN_IFACE}", "StatusNotifierHostRegistered", "", [])'),
    ])
