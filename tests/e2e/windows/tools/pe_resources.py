#!/usr/bin/python3
# pe_resources.py FILE [DUMP_DIR]: what Debian's python3-pefile, a PE reader
# that is not ours, sees in FILE, one fact per line, for the end-to-end
# tests to compare:
#   checksum STORED COMPUTED VALID         (VALID: pefile's verify_checksum())
#   image SIZE_OF_IMAGE INITIALIZED_DATA
#   section NAME VA VIRTUAL_SIZE RAW_OFFSET RAW_SIZE
#   resource TYPE NAME LANGUAGE SIZE CODEPAGE
#   version KEY VALUE                      (StringFileInfo strings)
#   fixed FILE_VERSION PRODUCT_VERSION     (VS_FIXEDFILEINFO, dotted)
#   translation LANGUAGE CODEPAGE          (VarFileInfo\Translation)
#   warning TEXT                           (pefile's own parse warnings)
# With DUMP_DIR, the data of each resource is written there as
# TYPE-NAME-LANGUAGE.bin.
import os
import sys

import pefile


def name_of(entry):
    return str(entry.name) if entry.name is not None else str(entry.id)


def main():
    path = sys.argv[1]
    dump = sys.argv[2] if len(sys.argv) > 2 else None
    pe = pefile.PE(path)
    header = pe.OPTIONAL_HEADER
    print("checksum %d %d %s" % (header.CheckSum, pe.generate_checksum(), pe.verify_checksum()))
    print("image %d %d" % (header.SizeOfImage, header.SizeOfInitializedData))
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("latin-1")
        print("section %s %d %d %d %d" % (name, section.VirtualAddress, section.Misc_VirtualSize,
                                          section.PointerToRawData, section.SizeOfRawData))
    resources = pe.DIRECTORY_ENTRY_RESOURCE.entries if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") else []
    for entry in resources:
        for named in entry.directory.entries:
            for language in named.directory.entries:
                data = pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
                print("resource %s %s %s %d %d" % (name_of(entry), name_of(named), name_of(language), len(data),
                                                   language.data.struct.CodePage))
                if dump:
                    file = "%s-%s-%s.bin" % (name_of(entry), name_of(named), name_of(language))
                    with open(os.path.join(dump, file), "wb") as out:
                        out.write(data)
    for info in getattr(pe, "FileInfo", []):
        for block in info:
            for table in getattr(block, "StringTable", []):
                for key, value in table.entries.items():
                    print("version %s %s" % (key.decode("utf-8"), value.decode("utf-8")))
            for var in getattr(block, "Var", []):
                for word in var.entry.values():
                    print("translation %s" % word)
    for fixed in getattr(pe, "VS_FIXEDFILEINFO", []):
        print("fixed %d.%d.%d.%d %d.%d.%d.%d" % (
            fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF, fixed.FileVersionLS >> 16,
            fixed.FileVersionLS & 0xFFFF, fixed.ProductVersionMS >> 16, fixed.ProductVersionMS & 0xFFFF,
            fixed.ProductVersionLS >> 16, fixed.ProductVersionLS & 0xFFFF))
    for warning in pe.get_warnings():
        print("warning %s" % warning.replace("\n", " "))


main()
