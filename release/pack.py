"""Packs the release for Windows users into one folder:

    sumvane.exe                    the program, 32-bit (i686)
    sumvane64.exe                  the same program, 64-bit (x86_64)
    sumvane-MAJOR.MINOR-win32.zip  both programs and README.txt
    SHA256SUMS                     the SHA-256 of the three, as sha256sum writes them

Usage: pack.py EXE EXE64 README OUT_DIR

The version in the zip's name is read from the programs' own version
resources, which must agree, so the name cannot disagree with them. README is UTF-8 text with any line
ends; it is packed as cp1252 with CRLF, which every Windows editor shows
right. The zip has a fixed order, fixed attributes and one date for every
entry, SOURCE_DATE_EPOCH (UTC, 1980 at the earliest), so the same inputs
always give the same bytes.
"""

import hashlib
import io
import os
import struct
import sys
import time
import zipfile

# VS_FIXEDFILEINFO starts with this signature, then the structure version and
# the file version as two 32-bit words (major << 16 | minor, build << 16 | patch).
FIXED_FILE_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)
EARLIEST_ZIP_TIME = 315532800  # 1980-01-01, the first date a zip entry can hold


def exe_version(exe):
    at = exe.find(FIXED_FILE_INFO_SIGNATURE)
    if at < 0:
        raise SystemExit("pack.py: the program has no version resource")
    high, _low = struct.unpack_from("<II", exe, at + 8)
    return high >> 16, high & 0xFFFF


def windows_text(utf8):
    text = utf8.decode("utf-8").replace("\r\n", "\n").replace("\n", "\r\n")
    try:
        return text.encode("cp1252")
    except UnicodeEncodeError as e:
        raise SystemExit("pack.py: README has a character that cp1252 lacks: %r" % text[e.start])


def zip_bytes(entries, epoch):
    date_time = time.gmtime(max(epoch, EARLIEST_ZIP_TIME))[:6]
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name, data in entries:
            info = zipfile.ZipInfo(name, date_time)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS attributes: none set
            info.external_attr = 0
            z.writestr(info, data, compresslevel=9)
    return buffer.getvalue()


def main(exe_path, exe64_path, readme_path, out_dir):
    with open(exe_path, "rb") as f:
        exe = f.read()
    with open(exe64_path, "rb") as f:
        exe64 = f.read()
    with open(readme_path, "rb") as f:
        readme = windows_text(f.read())
    major, minor = exe_version(exe)
    if exe_version(exe64) != (major, minor):
        raise SystemExit("pack.py: the two programs carry different versions")
    zip_name = "sumvane-%d.%d-win32.zip" % (major, minor)
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", EARLIEST_ZIP_TIME))

    os.makedirs(out_dir, exist_ok=True)
    for old in os.listdir(out_dir):
        if old.startswith("sumvane-") and old.endswith("-win32.zip"):
            os.remove(os.path.join(out_dir, old))
    programs = [("sumvane.exe", exe), ("sumvane64.exe", exe64)]
    outputs = programs + [(zip_name, zip_bytes(programs + [("README.txt", readme)], epoch))]
    sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in outputs)
    outputs.append(("SHA256SUMS", sums.encode("ascii")))
    for name, data in outputs:
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(data)
    sys.stdout.write(sums)


if __name__ == "__main__":
    if len(sys.argv) != 5:
        raise SystemExit("usage: pack.py EXE EXE64 README OUT_DIR")
    main(*sys.argv[1:])
