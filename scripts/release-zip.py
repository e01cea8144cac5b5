#!/usr/bin/env python3
"""release-zip.py STAGE FOLDER OUTPUT: zips STAGE/FOLDER into OUTPUT so that
the same files give the same archive: entries sorted by name, every time
stamp SOURCE_DATE_EPOCH (as UTC, no earlier than 1980), fixed modes and no
owner, deflated at the highest level."""
import os
import sys
import time
import zipfile


def main():
    stage, folder, output = sys.argv[1:4]
    epoch = max(int(os.environ.get("SOURCE_DATE_EPOCH", "315532800")), 315532800)
    stamp = time.gmtime(epoch)[:6]
    names = []
    for root, dirs, files in os.walk(os.path.join(stage, folder)):
        relative = os.path.relpath(root, stage)
        names.append(relative + "/")
        names.extend(os.path.join(relative, name) for name in files)
    with zipfile.ZipFile(output, "w") as archive:
        for name in sorted(names):
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.create_system = 3  # permissions in the Unix form, which unzip restores
            if name.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10
                archive.writestr(info, b"")
                continue
            mode = 0o755 if os.access(os.path.join(stage, name), os.X_OK) else 0o644
            info.external_attr = (0o100000 | mode) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(stage, name), "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)


if __name__ == "__main__":
    main()
