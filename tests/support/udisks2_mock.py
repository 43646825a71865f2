'''A UDisks2 service for the tests, loaded into python3-dbusmock.

The manager object is an ObjectManager. The unmount tests add volumes with AddVolume and
check what was asked of them with GetMethodCalls on the block and drive objects. The page
flows pass a "mount" parameter: the simulated looper's volume mounted there, which Unmount
really unmounts (the flows run as root), as the real service would; Eject then has nothing
left to do.
'''

import dbus

from dbusmock import MOCK_IFACE, mockobject

BUS_NAME = 'org.freedesktop.UDisks2'
MAIN_OBJ = '/org/freedesktop/UDisks2'
IS_OBJECT_MANAGER = True
SYSTEM_BUS = True

BLOCK = 'org.freedesktop.UDisks2.Block'
FILESYSTEM = 'org.freedesktop.UDisks2.Filesystem'
ENCRYPTED = 'org.freedesktop.UDisks2.Encrypted'
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
    mock.AddObject(MAIN_OBJ + '/Manager', 'org.freedesktop.UDisks2.Manager',
                   {'Version': dbus.String('2.9.4', variant_level=1)}, [])
    if 'mount' in parameters:
        _add_looper(mock, parameters['mount'])


def _add_looper(mock, mount):
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
    point = dbus.Array([dbus.ByteArray(mount.encode() + b'\0')], signature='ay')
    mockobject.objects[block].AddProperties(FILESYSTEM, {'MountPoints': point})
    mockobject.objects[block].AddMethods(FILESYSTEM, [('Unmount', 'a{sv}', '', UNMOUNT % (mount, FILESYSTEM))])


def _method(name, failures, success=''):
    '''A method taking the options dictionary; it raises the configured error.'''
    if name in failures:
        error, text = failures[name].split(':', 1)
        code = 'raise dbus.exceptions.DBusException(%r, name=%r)' % (text, error)
    else:
        code = success
    return (name, 'a{sv}', '', code)


@dbus.service.method(MOCK_IFACE, in_signature='ssa{sv}a{ss}b', out_signature='')
def AddVolume(self, name, mount_point, drive, failures, encrypted):
    '''Adds a drive <name> with one partition mounted at mount_point.

    drive: properties of the Drive interface (Removable, Ejectable, CanPowerOff...).
    failures: method name -> "<D-Bus error name>:<message>" for methods that must fail.
    encrypted: the filesystem sits in an unlocked encrypted container on the partition.
    '''
    drive_path = MAIN_OBJ + '/drives/' + name
    props = {'Removable': False, 'MediaRemovable': False, 'Ejectable': False, 'CanPowerOff': False}
    props.update(drive)
    self.AddObject(drive_path, DRIVE, {k: dbus.Boolean(v, variant_level=1) for k, v in props.items()},
                   [_method('Eject', failures), _method('PowerOff', failures)])

    partition = MAIN_OBJ + '/block_devices/' + name + '1'
    device = '/dev/' + name + '1'
    self.AddObject(partition, BLOCK, {
        'Device': dbus.ByteArray(device.encode() + b'\0', variant_level=1),
        'Drive': dbus.ObjectPath(drive_path, variant_level=1),
        'CryptoBackingDevice': dbus.ObjectPath('/', variant_level=1),
    }, [])
    holder = partition
    if encrypted:
        mockobject.objects[partition].AddProperties(ENCRYPTED, {'CleartextDevice': dbus.ObjectPath(MAIN_OBJ + '/block_devices/dm_0')})
        mockobject.objects[partition].AddMethods(ENCRYPTED, [_method('Lock', failures)])
        holder = MAIN_OBJ + '/block_devices/dm_0'
        self.AddObject(holder, BLOCK, {
            'Device': dbus.ByteArray(b'/dev/dm-0\0', variant_level=1),
            'Drive': dbus.ObjectPath('/', variant_level=1),
            'CryptoBackingDevice': dbus.ObjectPath(partition, variant_level=1),
        }, [])
    point = dbus.Array([dbus.ByteArray(mount_point.encode() + b'\0')], signature='ay')
    mockobject.objects[holder].AddProperties(FILESYSTEM, {'MountPoints': dbus.Array(point, signature='ay')})
    mockobject.objects[holder].AddMethods(FILESYSTEM, [_method(
        'Unmount', failures,
        'self.props["%s"]["MountPoints"] = dbus.Array([], signature="ay")' % FILESYSTEM),
        ('Mount', 'a{sv}', 's', 'self.props[%r]["MountPoints"] = dbus.Array([dbus.ByteArray(%r + b"\\0")], signature="ay")\n'
         'ret = %r' % (FILESYSTEM, mount_point.encode(), mount_point))])
