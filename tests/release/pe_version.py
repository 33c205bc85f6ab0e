"""Reading a PE file's time stamp and resources, and its VS_VERSIONINFO
resource. Malformed input raises ValueError, KeyError or struct.error."""

import struct


def pe_sections(data):
    """(COFF time stamp, [(virtual address, virtual size, raw offset, raw size)], resource RVA)."""
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    _, count, stamp, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + {0x10B: 96, 0x20B: 112}[magic]
    resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    sections = []
    for i in range(count):
        _, vsize, vaddr, raw_size, raw = struct.unpack_from("<8sIIII", data, optional + optional_size + 40 * i)
        sections.append((vaddr, max(vsize, raw_size), raw, raw_size))
    return stamp, sections, resource_rva


def rva_offset(sections, rva):
    for vaddr, size, raw, _ in sections:
        if vaddr <= rva < vaddr + size:
            return raw + rva - vaddr
    raise ValueError(f"RVA 0x{rva:X} in no section")


def pe_resources(data):
    """{(type, name, language): bytes} of the resource section; ids as ints, names as str."""
    _, sections, root_rva = pe_sections(data)
    found = {}
    if root_rva == 0:
        return found
    root = rva_offset(sections, root_rva)

    def walk(offset, path):
        named, ids = struct.unpack_from("<HH", data, offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, offset + 16 + 8 * i)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", data, at)[0]
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                walk(root + (target & 0x7FFFFFFF), path + (name,))
            else:
                rva, size = struct.unpack_from("<II", data, root + target)
                at = rva_offset(sections, rva)
                found[path + (name,)] = data[at:at + size]

    walk(root, ())
    return found


def version_blocks(data, offset=0, end=None):
    """The VS_VERSIONINFO tree: [(key, value bytes, value is text, children)]."""
    end = len(data) if end is None else end
    blocks = []
    while offset + 6 <= end:
        length, value_length, is_text = struct.unpack_from("<HHH", data, offset)
        if length == 0:
            break
        key_end = offset + 6
        while data[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = data[offset + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if is_text else value_length
        value = data[value_at:value_at + value_size]
        children_at = (value_at + value_size + 3) & ~3
        blocks.append((key, value, bool(is_text), version_blocks(data, children_at, offset + length)))
        offset = (offset + length + 3) & ~3
    return blocks


def version_info(data):
    """(file version, product version, {string name: text}) of the first RT_VERSION resource."""
    versions = [v for k, v in sorted(pe_resources(data).items(), key=str) if k[0] == 16]
    if not versions:
        raise ValueError("no version resource")
    (key, fixed, _, children), = version_blocks(versions[0])
    if key != "VS_VERSION_INFO":
        raise ValueError(f"version resource starts with {key!r}")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    if signature != 0xFEEF04BD:
        raise ValueError("no VS_FIXEDFILEINFO")

    def dotted(ms, ls):
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"

    strings = {}
    for child_key, _, _, tables in children:
        if child_key == "StringFileInfo":
            for _, _, _, entries in tables:
                for name, text, _, _ in entries:
                    strings[name] = text.decode("utf-16-le").split("\0", 1)[0]
    return dotted(file_ms, file_ls), dotted(product_ms, product_ls), strings
