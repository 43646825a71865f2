'''A UDisks2 stand-in for the page flows, loaded into python3-dbusmock.

It knows one removable drive: the simulated looper whose volume is mounted at the
"mount" parameter. Unmount really unmounts it (the flows run as root), as the real
service would; Eject then has nothing left to do.
'''

import dbus

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
IS_OBJECT_MANAGER = True
SYSTEM_BUS = True

BLOCK = 'org.freedesktop.UDisks2.Block'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'
DRIVE = 'org.freedesktop.UDisks2.Drive'

UNMOUNT = '''
import subprocess
done = subprocess.run(['umount', %r], capture_output=True, text=True)
if done.returncode != 0:
    raise dbus.exceptions.DBusException(done.stderr.strip() or 'umount failed',
                                        name='org.freedesktop.UDisks2.Error.Failed')
self.props[%r]['MountPoints'] = dbus.Array([], signature='ay')
'''


def load(mock, parameters):
    mount = parameters['mount']
    mock.AddObject(MAIN_OBJ + '/Manager', 'org.freedesktop.UDisks2.Manager',
                   {'Version': dbus.String('2.9.4', variant_level=1)}, [])
    drive = MAIN_OBJ + '/drives/Corvane_Looper'
    mock.AddObject(drive, DRIVE, {
        'Removable': dbus.Boolean(True, variant_level=1),
        'MediaRemovable': dbus.Boolean(True, variant_level=1),
        'Ejectable': dbus.Boolean(True, variant_level=1),
        'CanPowerOff': dbus.Boolean(False, variant_level=1),
    }, [('Eject', 'a{sv}', '', ''), ('PowerOff', 'a{sv}', '', '')])
    block = MAIN_OBJ + '/block_devices/looper'
    mock.AddObject(block, BLOCK, {
        'Device': dbus.ByteArray(b'/dev/looper\0', variant_level=1),
        'Drive': dbus.ObjectPath(drive, variant_level=1),
        'CryptoBackingDevice': dbus.ObjectPath('/', variant_level=1),
    }, [])
    from dbusmock import mockobject
    point = dbus.Array([dbus.ByteArray(mount.encode() + b'\0')], signature='ay')
    mockobject.objects[block].AddProperties(FILESYSTEM, {'MountPoints': point})
    mockobject.objects[block].AddMethods(FILESYSTEM, [('Unmount', 'a{sv}', '', UNMOUNT % (mount, FILESYSTEM))])
