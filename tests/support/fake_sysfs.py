"""A sysfs tree as the kernel lays one out for serial ports, for bravelle-cli's port list (BRAVELLE_SYSFS)."""

import os


def make_sysfs(root, ports):
    """A sysfs tree like the kernel's. Each port is (tty, driver, usb) with usb None or a dict: vid, pid,
    manufacturer, product, serial, and for adapters with several ports interface, interfaces, name and
    port_number; "device" names the USB device (1-N by default), "acm" puts the tty on the interface."""
    for i, (tty, driver, usb) in enumerate(ports):
        if usb is None:
            device = os.path.join(root, "devices", "platform", tty)
        else:
            name = usb.get("device", "1-%d" % (i + 1))
            parent = os.path.join(root, "devices", "pci0000:00", "usb1", name)
            os.makedirs(parent, exist_ok=True)
            for key, value in (("idVendor", usb["vid"]), ("idProduct", usb["pid"]),
                               ("manufacturer", usb.get("manufacturer")), ("product", usb.get("product")),
                               ("serial", usb.get("serial")), ("bNumInterfaces", " %d" % usb.get("interfaces", 1))):
                if value is not None:
                    with open(os.path.join(parent, key), "wb") as f:
                        f.write((value if isinstance(value, bytes) else value.encode()) + b"\n")
            interface = os.path.join(parent, "%s:1.%d" % (name, usb.get("interface", 0)))
            os.makedirs(interface, exist_ok=True)
            with open(os.path.join(interface, "bInterfaceNumber"), "w") as f:
                f.write("%02x\n" % usb.get("interface", 0))
            if "name" in usb:
                with open(os.path.join(interface, "interface"), "w") as f:
                    f.write(usb["name"] + "\n")
            device = interface if usb.get("acm") else os.path.join(interface, tty)
        os.makedirs(device, exist_ok=True)
        if usb is not None and "port_number" in usb:
            with open(os.path.join(device, "port_number"), "w") as f:
                f.write("%d\n" % usb["port_number"])
        drivers = os.path.join(root, "bus", "drivers", driver)
        os.makedirs(drivers, exist_ok=True)
        os.symlink(drivers, os.path.join(device, "driver"))
        entry = os.path.join(root, "class", "tty", tty)
        os.makedirs(entry)
        os.symlink(device, os.path.join(entry, "device"))
    for tty in ("tty0", "console", "ptmx"):
        os.makedirs(os.path.join(root, "class", "tty", tty))


def usb(vid, pid, manufacturer=None, product=None, serial=None, **more):
    return dict(vid=vid, pid=pid, manufacturer=manufacturer, product=product, serial=serial, **more)
