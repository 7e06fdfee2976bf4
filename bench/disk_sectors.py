#!/usr/bin/env python3
"""Sectors written so far to the disk that holds a folder, from /proc/diskstats.

disk_sectors.py FOLDER   prints "SECTORS DEVICE-AND-HOW-IT-WAS-FOUND", or "not measured: WHY" and exits 1

The device is the one of the folder's file system (a partition counts on its own line). A device-mapper
or other stacked device counts on the devices under it; a file system on no block device (overlay, a
virtual disk's view) falls back to the sum of every whole disk, which then also counts other folders; a
folder in memory (tmpfs) is not measured.
"""
import os
import sys

SYS_BLOCK = "/sys/class/block"


def diskstats():
    """Sectors written per device name."""
    written = {}
    with open("/proc/diskstats") as stats:
        for line in stats:
            fields = line.split()
            written[fields[2]] = int(fields[9])
    return written


def device_name(dev):
    """The kernel's name of a device number, or None when no block device has it."""
    link = "/sys/dev/block/%d:%d" % (os.major(dev), os.minor(dev))
    return os.path.basename(os.path.realpath(link)) if os.path.exists(link) else None


def file_system_type(dev):
    """The type of the mounted file system with this device number, from /proc/self/mountinfo."""
    wanted = "%d:%d" % (os.major(dev), os.minor(dev))
    with open("/proc/self/mountinfo") as mounts:
        for line in mounts:
            fields = line.split()
            if fields[2] == wanted:
                return fields[fields.index("-") + 1]
    return "unknown"


def lowest_devices(name):
    """The devices a stacked device (device-mapper, md) is made of, down to the ones with no slaves."""
    slaves_dir = os.path.join(SYS_BLOCK, name, "slaves")
    slaves = os.listdir(slaves_dir) if os.path.isdir(slaves_dir) else []
    if not slaves:
        return [name]
    return [low for slave in sorted(slaves) for low in lowest_devices(slave)]


def whole_disks(written):
    """Every disk that is real hardware or a virtual machine's disk: not a partition, loop, ram or zram."""
    def is_disk(name):
        path = os.path.join(SYS_BLOCK, name)
        return (os.path.exists(os.path.join(path, "device")) and not os.path.exists(os.path.join(path, "partition"))
                and not name.startswith(("loop", "ram", "zram")))
    return sorted(name for name in written if is_disk(name))


def measure(folder):
    written = diskstats()
    dev = os.stat(folder).st_dev
    name = device_name(dev)
    kind = file_system_type(dev)
    if kind in ("tmpfs", "ramfs"):
        return None, "the folder is on %s, in memory" % kind
    if name:
        devices = lowest_devices(name)
        how = name if devices == [name] else "%s, counted on %s" % (name, "+".join(devices))
    else:
        devices = whole_disks(written)
        if not devices:
            return None, "the folder's file system is on no block device and no disk is listed"
        how = "no block device under the folder's %s file system: the sum of every disk (%s)" % (
            kind, "+".join(devices))
    missing = [d for d in devices if d not in written]
    if missing:
        return None, "%s is not in /proc/diskstats" % "+".join(missing)
    return sum(written[d] for d in devices), how


def main():
    sectors, how = measure(sys.argv[1])
    if sectors is None:
        print("not measured: " + how)
        return 1
    print(sectors, how)
    return 0


if __name__ == "__main__":
    sys.exit(main())
