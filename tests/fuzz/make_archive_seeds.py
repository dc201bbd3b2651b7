#!/usr/bin/env python3
"""Writes the archive fuzz target's seed archives: small packages of the
shapes the launcher meets (stored and deflated files, directory entries,
UTF-8 names, zip64 records, no entries at all) and the broken ones it must
refuse (a wrong checksum, a name climbing out). Usage: make_archive_seeds.py DIR
"""
import io
import os
import struct
import sys
import zipfile


def archive(entries, force_zip64=False, comment=b""):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w") as z:
        z.comment = comment
        for name, data, method in entries:
            info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
            info.compress_type = method
            if name.endswith("/"):
                z.writestr(info, b"")
            else:
                with z.open(info, "w", force_zip64=force_zip64) as f:
                    f.write(data)
    return buf.getvalue()


def wrong_checksum(data):
    # The CRC-32 of the first local header and of its central record.
    out = bytearray(data)
    for sig, at in ((b"PK\x03\x04", 14), (b"PK\x01\x02", 16)):
        pos = out.find(sig)
        crc = struct.unpack_from("<I", out, pos + at)[0]
        struct.pack_into("<I", out, pos + at, crc ^ 0x5A5A5A5A)
    return bytes(out)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    text = b"game data " * 40
    stored, deflated = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
    seeds = {
        "client.zip": archive([("bm/", b"", stored), ("bm/game.exe", b"MZ" + text, deflated),
                               ("bm/readme.txt", b"hello", stored)]),
        "utf8-names.zip": archive([("\u5305/\u6570\u636e.txt", text, deflated)]),
        "zip64.zip": archive([("big.bin", text, deflated)], force_zip64=True),
        "several-blocks.zip": archive([("bm/big.pak", text * 64, deflated), ("bm/end.txt", text, stored)]),
        "empty.zip": archive([], comment=b"no entries"),
        "climbing.zip": archive([("ok.txt", b"x", stored), ("../evil.txt", b"y", stored)]),
        "bad-crc.zip": wrong_checksum(archive([("a.txt", text, deflated)])),
    }
    # Inputs the fuzzer once found wrongly accepted, kept as regression seeds.
    seeds["regression-bzip2-left-unchecked.zip"] = bytes.fromhex(
        "504b0304140000000c000000215860f4766f200000002000000006000000626d2e657865425a68393141592653"
        "59206e6f74207768617420776173206465636c61726564504b01021403140000000c000000215860f4766f2000"
        "000020000000060000000000000000000000800100000000626d2e657865504b0506000000000100010034000000"
        "440000000000")
    seeds["regression-deflate-ends-early.zip"] = bytes.fromhex(
        "504b0304140000080800000021589c743cef11000000900100000e000000e58c852fe695b0e68dae2e7478744b4f"
        "cc4d55b8bb2c498f051f650d021600504b01021403140000080800000021589c743cef11000000900100000e0000"
        "000000000000000000800100000000e58c852fe695b0e68dae2e747874504b050600000000010001003c0000003d"
        "0000000000")
    for name, data in seeds.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
