#!/usr/bin/env python3
"""Writes the committed seed corpus of the fuzz targets: fuzz/corpus/<target>/.

Each seed is an input in the target's own layout (see the comment at the top
of fuzz/fuzz_<target>.cpp). Run it again after changing a layout; the fuzz
runs themselves never write into fuzz/corpus.
"""
import pathlib
import shutil
import struct

HERE = pathlib.Path(__file__).resolve().parent
CORPUS = HERE / "corpus"

REMOVABLE_HEAD = "\\??\\STORAGE#RemovableMedia#"          # 27 UTF-16 units
DISK_CLASS = "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}"


def placed(text, position, expected):
    """Checks that expected stands at position of text, so a seed meant
    for a rule really exercises it."""
    assert text[position:position + len(expected)] == expected, (text, position, expected)
    return text


def instance_paths():
    usbstor = "USBSTOR\\Disk&Ven_Vendor&Prod"            # product text at 28
    usbstor29 = "USBSTOR\\Disk&Ven_Generic&Prod"        # product text at 29
    vexlunor = "VEXLUNOR\\Disk&Ven_VendorName&Prod"     # product text at 33
    flash = "USB_FLASH_CARD_READER\\Disk&V"             # product text at 28
    tail = "&Rev_1.00\\7&1a2b3c4d&0&000000000001&0"
    paths = {
        "usbstor-cardreader-cf": placed(usbstor + "_cardreader_CF" + tail, 40, "CF"),
        "usbstor-cardreader-smc": placed(usbstor + "_CardReader_SMC" + tail, 40, "SMC"),
        "usbstor-cardreader-combo": placed(usbstor + "_cardreader_Combo" + tail, 40, "Combo"),
        "usbstor-cardreader-at-end": placed(usbstor + "_cardreader_", 28, "_cardreader_"),
        "usbstor-vistocard-3": placed(usbstor29 + "_Vistocard_6_in_1&Rev_1.00\\7&1a2b3c4d&0&3",
                                      29, "_Vistocard_6_in_1"),
        "usbstor-vistocard-7": placed(usbstor29 + "_VISTOCARD_6_IN_1&Rev_1.00\\7&1a2b3c4d&0&7",
                                      29, "_VISTOCARD_6_IN_1"),
        "usbstor-multicard-d": placed(usbstor + "_MultiCard_Slot_D" + tail, 44, "D"),
        "usbstor-multicard-o": placed(usbstor.lower() + "_multicard_slot_O" + tail, 44, "O"),
        "vexlunor-cardreader-sd": placed(vexlunor + "_cardreader_SD" + tail, 45, "SD"),
        "vexlunor-multicard-m": placed(vexlunor + "_MultiCard_Slot_M" + tail, 49, "M"),
        "flash-list-a-mstk": placed(
            "USB_FLASH_CARD_READER\\Disk&Ven_Generic&Prod_FlashReader_1&MSTK&Rev_1.00\\8&abc&0",
            58, "MSTK"),
        "flash-multicard-s": placed(flash + "_MultiCard_Slot_S" + tail, 44, "S"),
        "not-a-card-slot": "USB\\VID_0E5B&PID_0A17\\6&1a2b3c4d&0&1",
        "ide-disk": "IDE\\DiskST380011A_______________3.06____\\5&2ab7b6e4&0&0.0.0",
        "family-prefix-only": "usbstor",
        "empty": "",
    }
    seeds = {name: path.encode("latin-1") for name, path in paths.items()}
    # Bytes beyond the path's NUL must not count.
    seeds["path-then-garbage"] = paths["usbstor-multicard-d"][:44].encode() + b"\0D&Rev"
    return seeds


def utf16(text):
    return text.encode("utf-16-le")


def mounted_data():
    def removable(prefix):
        return utf16(REMOVABLE_HEAD + prefix + "&RM#" + DISK_CLASS)

    full = removable("7&1a2b3c4d&0")
    return {
        "removable-12-chars": full,
        "removable-7-chars": removable("8&abc&0"),
        "no-third-ampersand": removable("7&1a2b3c4d00ff"),
        "exactly-78-bytes": full[:78],
        "77-bytes": full[:77],
        "high-bytes-set": bytes(b if i % 2 == 0 else 0x30 for i, b in enumerate(full)),
        "nul-unit-inside": utf16(REMOVABLE_HEAD + "7&1a\0" + "2b3c4d&0&RM#" + DISK_CLASS),
        "260-bytes": (full + utf16("z" * 200))[:260],
        "261-bytes": (full + utf16("z" * 200))[:261],
        # A fixed disk's value: disk signature and partition offset.
        "fixed-disk-12-bytes": struct.pack("<IQ", 0x5E4D3C2B, 32256),
    }


def disk_value_indexes():
    values = [0, 9, 10, 25, 123, -1, -2147483648, 2147483647]
    return {"index%d" % v: struct.pack("<i", v) for v in values}


def device_key_names():
    path = b"USBSTOR\\Disk&Ven_Vendor&Prod_cardreader_SD&Rev_1.00\\7&1a2b3c4d&0&000000000001&0"
    return {
        "program-size": b"\0" + path,
        "229-chars": b"\0" + b"U" * 229,
        "230-chars": b"\0" + b"U" * 230,
        "size-31": bytes([32]) + b"a",
        "size-0": bytes([1]) + path,
    }


def registry_texts():
    def header(buffer_size, mode, raw):
        return struct.pack("<HBI", buffer_size, mode, raw)

    path = b"USBSTOR\\Disk&Ven_Vendor&Prod_cardreader_SD&Rev_1.00\\7&1a2b3c4d&0&000000000001&0"
    return {
        "disk-value-with-nul": header(260, 0, len(path) + 1) + path + b"\0",
        "disk-value-no-nul-full": header(260, 0, 260) + (path * 4)[:260],
        "reported-above-buffer": header(260, 1, 0x1000) + path,
        "parent-id-prefix": header(20, 2, 0) + b"7&1a2b3c4d&0\0",
        "empty-data": header(20, 3, 0),
        "buffer-size-0": header(0, 0, 5) + b"abc",
    }


def prefix_pairs():
    return {
        "equal-with-nul": b"\0" + b"7&1a2b3c4d&0\0" + b"7&1a2b3c4d&0\0" + b"\0" * 7,
        "equal-without-nul": b"\0" + b"8&abc&0\0" + b"8&abc&0",
        "case-differs": b"\0" + b"7&1A2B3C4D&0\0" + b"7&1a2b3c4d&0\0",
        "data-longer": b"\1" + b"7&1a2b3c4d&0\0" + b"5&0\0",
        # The 20 bytes the program reads at most, without a NUL.
        "20-bytes-no-nul": b"\0" + b"7&1a2b3c4d&0\0" + b"7&1a2b3c4d&0ABCDEFGH",
        "12-chars-no-nul": b"\0" + b"7&1a2b3c4d&0\0" + b"7&1a2b3c4d&0",
        "both-empty": b"\0\0\0",
    }


def rebind_arguments():
    return {
        "spaces": b"0e5b 0a17 zelmot.inf\0C:\\WINDOWS",
        "dashes-and-blanks": b"0e5b-0a17-my name.inf  \0C:\\WINNT",
        "nine-chars": b"0e5b 0a17\0C:\\WINDOWS",
        "eight-chars": b"0e5b 0a1\0C:\\WINDOWS",
        "inf-59-chars": b"0e5b 0a17 " + b"n" * 55 + b".inf\0C:\\WINDOWS",
        "inf-60-chars": b"0e5b 0a17 " + b"n" * 56 + b".inf\0C:\\WINDOWS",
        "159-chars": b"0e5b 0a17 " + b"x" * 149 + b"\0C:\\WINDOWS",
        "long-windows-dir": b"0e5b 0a17 zelmot.inf\0C:\\" + b"W" * 240,
    }


def hardware_ids():
    def request(choice, arguments, ids):
        return bytes([choice]) + arguments + ids

    reader = b"USB\\Vid_0e5b&Pid_0a17&Rev_0100\0USB\\Vid_0e5b&Pid_0a17\0\0"
    return {
        "reader-list": request(0, b"0e5b 0a17", reader),
        "exactly-21": request(0, b"0E5B 0A17", b"USB\\VID_0E5B&PID_0A17\0\0"),
        "20-chars": request(0, b"0e5b 0a17", b"USB\\VID_0E5B&PID_0A1\0\0"),
        "lower-case-usb": request(0, b"0e5b 0a17", b"usb\\vid_0e5b&pid_0a17&rev_0100\0\0"),
        "other-product": request(0, b"0e5b 0a17", b"USB\\VID_0E5B&PID_0A18&REV_0100\0\0"),
        "later-id-matches": request(0, b"0e5b 0a17",
                                    b"USB\\VID_1234&PID_5678\0USB\\VID_0E5B&PID_0A17\0\0"),
        "no-nul-in-buffer": request(0, b"0e5b 0a17", b"USB\\VID_0E5B&PID_0A17&" + b"x" * 190),
        "buffer-21": request(22, b"0e5b 0a17", b"USB\\VID_0e5b&PID_0a17&REV_0100"),
    }


def reader_ids():
    def listed(choice, ids):
        return bytes([choice]) + ids

    return {
        "reader-mixed-case": listed(0, b"USB\\Vid_0e5b&Pid_0a17&Rev_0100\0USB\\Vid_0e5b&Pid_0a17\0\0"),
        "reader-upper-21": listed(0, b"USB\\VID_0E5B&PID_0A17\0\0"),
        "other-reader": listed(0, b"USB\\VID_0E5B&PID_0A18&REV_0100\0\0"),
        "20-chars": listed(0, b"USB\\VID_0E5B&PID_0A1\0\0"),
        "short-then-match": listed(0, b"USB\\VID_0E5B\0&PID_0A17&REV\0\0"),
        "no-nul-in-buffer": listed(0, b"USB\\VID_0E5B&PID_0A17&" + b"x" * 250),
        "buffer-21": listed(22, b"USB\\VID_0e5b&PID_0a17&REV_0100"),
    }


def service_names():
    def service(choice, name):
        return bytes([choice]) + name

    return {
        "usbstor": service(0, b"USBSTOR\0"),
        "usbstor-lower": service(0, b"usbstor\0"),
        "flashreader": service(0, b"FlashReader\0"),
        "usbstor-longer": service(0, b"USBSTOR2\0"),
        "usbstor-no-nul": service(8, b"USBSTOR"),
        "other": service(0, b"disk\0"),
        "19-chars-no-nul": service(0, b"F" * 20),
    }


def icon_values():
    return {
        "sdico": bytes([10]) + b"sdico.ico\0",
        "sdico-in-place": bytes([0x80 | 10]) + b"sdico.ico\0",
        "18-chars": bytes([19]) + b"a" * 14 + b".ico\0",
        "19-chars-no-nul": bytes([0x80 | 19]) + b"a" * 15 + b".ico",
        "no-nul-short": bytes([9]) + b"sdico.ico",
        "empty-text": bytes([1]) + b"\0",
        "zero-bytes": bytes([0]),
        "above-limit": bytes([20]) + b"comboico.ico\0" + b"\0" * 7,
    }


def icon_locations():
    return {
        "windows-icon": b"\0C:\\WINDOWS\\sdico.ico",
        "trailing-backslash": b"\0C:\\WINDOWS\\",
        "no-backslash": b"\0abc",
        "leading-backslash": b"\0\\abc",
        "two-trailing": b"\0C:\\icons\\\\",
        "259-and-more": b"\0C:\\" + b"d" * 250 + b"\\name.ico",
        "small-buffer": bytes([6]) + b"C:\\WINDOWS\\sdico.ico",
        "null-location": bytes([255]),
    }


def command_lines():
    return {
        "quoted": b"\"C:\\Program Files\\Kit\\vorbind.exe\" 0e5b 0a17 zelmot.inf",
        "plain": b"vorbind.exe  \t0e5b 0a17 zelmot.inf",
        "version": b"tavlix v",
        "unterminated-quote": b"\"C:\\kit\\tavlix.exe v",
        "name-only": b"morvex.exe",
        "leading-blank": b"  tavlix",
        "empty": b"",
        "then-garbage": b"tavlix\0 v",
    }


TARGETS = {
    "slotclass": instance_paths,
    "parentprefix": mounted_data,
    "diskvaluename": disk_value_indexes,
    "devicekeyname": device_key_names,
    "registrytext": registry_texts,
    "prefixequals": prefix_pairs,
    "rebindargument": rebind_arguments,
    "rebindhardwareid": hardware_ids,
    "readerid": reader_ids,
    "servicename": service_names,
    "iconentry": icon_values,
    "shellimagename": icon_locations,
    "programname": command_lines,
}


def main():
    for target, make in TARGETS.items():
        folder = CORPUS / target
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        for name, data in make().items():
            (folder / name).write_bytes(data)
        print("%-18s %d seeds" % (target, len(list(folder.iterdir()))))


if __name__ == "__main__":
    main()
