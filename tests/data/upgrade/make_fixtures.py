#!/usr/bin/env python3
"""Writes the upgrade-package fixtures of the unit tests into this folder.

good.zip          folder entries before their files, an "InstallDesc" naming a hardware id, and a
                  file two levels deep whose upper folder has no entry (it cannot be unpacked)
no_installdesc.zip  a package without "InstallDesc"
bad_json.zip      an "InstallDesc" that is not JSON
long_hardware.zip an "InstallDesc" whose "Hardware" has 80 characters
not_a_zip.bin     a file that is not an archive
big_installdesc.zip an "InstallDesc" of more than 1 MiB (deflated to a few KiB): too long to be read
"""
import os
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
# A fixed date keeps the generated files byte-for-byte the same on every run.
DATE = (2020, 1, 1, 0, 0, 0)


def add(zf, name, data):
    info = zipfile.ZipInfo(name, date_time=DATE)
    info.compress_type = zipfile.ZIP_DEFLATED
    info.external_attr = 0o644 << 16
    zf.writestr(info, data)


def write_zip(name, entries):
    with zipfile.ZipFile(os.path.join(HERE, name), "w") as zf:
        for entry_name, data in entries:
            add(zf, entry_name, data)


def main():
    firmware = bytes((i * 7) % 256 for i in range(100000))
    write_zip("good.zip", [
        ("InstallDesc", b'{ "Hardware" : "VT-HW-1000", "Vendor" : "General", "Version" : "2.1.0" }\n'),
        ("firmware/", b""),
        ("firmware/rootfs.img", firmware),
        ("firmware/kernel/", b""),
        ("firmware/kernel/uImage", b"kernel image"),
        ("deep/level/orphan.txt", b"its folder deep/ never came as an entry"),
    ])
    write_zip("no_installdesc.zip", [("firmware.img", b"firmware only")])
    write_zip("bad_json.zip", [("InstallDesc", b"Hardware = VT-HW-1000\n")])
    write_zip("long_hardware.zip", [("InstallDesc", b'{"Hardware":"' + b"H" * 70 + b'0123456789"}')])
    write_zip("big_installdesc.zip", [("InstallDesc", b'{"Hardware":"BIG"}' + b" " * (1024 * 1024))])
    with open(os.path.join(HERE, "not_a_zip.bin"), "wb") as f:
        f.write(b"This is a firmware image without any archive around it.\n" * 20)


if __name__ == "__main__":
    main()
