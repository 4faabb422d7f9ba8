#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Seeds come from real volumes (mkntfs volumes made here, the public images
in ../shared/testdata) cut down to a few dozen KB, and from hand-made edge
cases. Needs mkntfs and icat (ntfs-3g, sleuthkit). Run it again only to
change the seeds; the corpora in the repository are its output.
"""
import gzip
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TESTDATA = os.path.join(HERE, "..", "..", "shared", "testdata")


def put(buf, off, value, size):
    buf[off:off + size] = (value & ((1 << (8 * size)) - 1)).to_bytes(size, "little")


def le(buf, off, size):
    return int.from_bytes(buf[off:off + size], "little")


# ---- records -------------------------------------------------------------

def encode_runs(runs):
    """runs: (length, absolute cluster or None for a hole)."""
    out = bytearray()
    prev = 0
    for length, cluster in runs:
        lb = length.to_bytes(max(1, (length.bit_length() + 7) // 8), "little")
        ob = b""
        if cluster is not None:
            delta = cluster - prev
            prev = cluster
            n = 1
            while not -(1 << (8 * n - 1)) <= delta < (1 << (8 * n - 1)):
                n += 1
            ob = (delta & ((1 << (8 * n)) - 1)).to_bytes(n, "little")
        out.append(len(lb) | (len(ob) << 4))
        out += lb + ob
    out.append(0)
    return bytes(out)


def file_name_value(name, allocated=0, flags=0x20):
    v = bytearray(0x42)
    put(v, 0, 5, 8)
    put(v, 0x28, allocated, 8)
    put(v, 0x30, allocated, 8)
    put(v, 0x38, flags, 4)
    v[0x40] = len(name)
    v[0x41] = 1
    return bytes(v) + name.encode("utf-16-le")


def std_info_value():
    v = bytearray(72)
    for i in range(4):
        put(v, 8 * i, 0x01D0000000000000 + i, 8)
    put(v, 0x20, 0x20, 4)
    return bytes(v)


class Record:
    def __init__(self, size=1024, in_use=True):
        self.size = size
        self.buf = bytearray(size)
        self.buf[0:4] = b"FILE"
        put(self.buf, 4, 0x30, 2)
        put(self.buf, 6, size // 512 + 1, 2)
        self.next = (0x30 + 2 * (size // 512 + 1) + 7) & ~7
        put(self.buf, 0x14, self.next, 2)
        put(self.buf, 0x16, 1 if in_use else 0, 2)
        put(self.buf, 0x1C, size, 4)

    def resident(self, atype, value):
        off = self.next
        length = (0x18 + len(value) + 7) & ~7
        put(self.buf, off, atype, 4)
        put(self.buf, off + 4, length, 4)
        put(self.buf, off + 0x10, len(value), 4)
        put(self.buf, off + 0x14, 0x18, 2)
        self.buf[off + 0x18:off + 0x18 + len(value)] = value
        self.next += length
        return self

    def nonresident(self, atype, runs, allocated, real, first_vcn=0, last_vcn=0):
        off = self.next
        length = (0x40 + len(runs) + 7) & ~7
        put(self.buf, off, atype, 4)
        put(self.buf, off + 4, length, 4)
        self.buf[off + 8] = 1
        put(self.buf, off + 0x10, first_vcn, 8)
        put(self.buf, off + 0x18, last_vcn, 8)
        put(self.buf, off + 0x20, 0x40, 2)
        put(self.buf, off + 0x28, allocated, 8)
        put(self.buf, off + 0x30, real, 8)
        put(self.buf, off + 0x38, real, 8)
        self.buf[off + 0x40:off + 0x40 + len(runs)] = runs
        self.next += length
        return self

    def done(self, usn=7):
        put(self.buf, self.next, 0xFFFFFFFF, 4)
        put(self.buf, 0x18, self.next + 8, 4)
        protect(self.buf, self.size, usn)
        return bytes(self.buf)


def protect(buf, size, usn):
    usa = le(buf, 4, 2)
    put(buf, usa, usn, 2)
    for i in range(size // 512):
        tail = (i + 1) * 512 - 2
        buf[usa + 2 + 2 * i:usa + 4 + 2 * i] = buf[tail:tail + 2]
        put(buf, tail, usn, 2)


def unprotect(buf, size):
    usa = le(buf, 4, 2)
    for i in range(size // 512):
        tail = (i + 1) * 512 - 2
        buf[tail:tail + 2] = buf[usa + 2 + 2 * i:usa + 4 + 2 * i]
    return le(buf, usa, 2)


def attributes(rec, size):
    """(offset, type) of each attribute of an unprotected record."""
    off = le(rec, 0x14, 2)
    while off + 8 <= size:
        atype = le(rec, off, 4)
        length = le(rec, off + 4, 4)
        if atype == 0xFFFFFFFF or length == 0 or off + length > size:
            return
        yield off, atype
        off += length


# ---- volumes --------------------------------------------------------------

def boot_sector(bps, spc, mft_cluster, code):
    b = bytearray(512)
    b[0:3] = b"\xEB\x52\x90"
    b[3:11] = b"NTFS    "
    put(b, 0x0B, bps, 2)
    b[0x0D] = spc
    put(b, 0x30, mft_cluster, 8)
    put(b, 0x40, code & 0xFF, 1)
    b[510:512] = b"\x55\xAA"
    return b


def compact_volume(image, keep):
    """The boot sector and the first `keep` records of the table laid end to
    end right after it; record 0's $DATA is rewritten to one run over them."""
    boot = image[:512]
    bps = le(boot, 0x0B, 2)
    cluster = bps * boot[0x0D]
    code = struct.unpack_from("<b", boot, 0x40)[0]
    rec_size = (1 << -code) if code < 0 else code * cluster
    with tempfile.NamedTemporaryFile() as tmp:
        tmp.write(image)
        tmp.flush()
        table = subprocess.run(["icat", "-o", "0", tmp.name, "0"], check=True,
                               stdout=subprocess.PIPE).stdout
    table = bytearray(table[:keep * rec_size])
    table_cluster = max(1, 8192 // cluster)
    clusters = (len(table) + cluster - 1) // cluster
    rec0 = table[:rec_size]
    usn = unprotect(rec0, rec_size)
    for off, atype in attributes(rec0, rec_size):
        if atype == 0x80 and rec0[off + 8]:
            runs = encode_runs([(clusters, table_cluster)])
            rl = le(rec0, off + 0x20, 2)
            length = le(rec0, off + 4, 4)
            assert rl + len(runs) <= length
            rec0[off + rl:off + length] = bytes(length - rl)
            rec0[off + rl:off + rl + len(runs)] = runs
            put(rec0, off + 0x10, 0, 8)
            put(rec0, off + 0x18, clusters - 1, 8)
            put(rec0, off + 0x28, clusters * cluster, 8)
            put(rec0, off + 0x30, len(table), 8)
            put(rec0, off + 0x38, len(table), 8)
            break
    protect(rec0, rec_size, usn)
    table[:rec_size] = rec0
    out = bytearray(table_cluster * cluster)
    out[:512] = boot
    put(out, 0x30, table_cluster, 8)
    return bytes(out) + bytes(table) + bytes(clusters * cluster - len(table))


def mkntfs(path, size, *args):
    with open(path, "wb") as f:
        f.truncate(size)
    subprocess.run(["mkntfs", "-F", "-q", "-f", *args, path], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(path, "rb") as f:
        return f.read()


def handmade_volume(cluster=512, records=40, list_past_attribute=False):
    """Boot sector, a table at cluster 4 and file data inside the image.
    list_past_attribute: record 0's $DATA names a run list offset past the
    attribute's end (inside the record), where runs that reach far lie."""
    spc = cluster // 512
    table_cluster = 4
    rec_size = 1024
    table_clusters = records * rec_size // cluster
    data_cluster = table_cluster + table_clusters
    recs = {}
    mft = Record()
    mft.resident(0x10, std_info_value())
    mft.resident(0x30, file_name_value("$MFT", table_clusters * cluster, 6))
    data_attr = mft.next
    mft.nonresident(0x80, encode_runs([(table_clusters, table_cluster)]),
                    table_clusters * cluster, records * rec_size)
    if list_past_attribute:
        past = data_attr + le(mft.buf, data_attr + 4, 4) + 0x80
        put(mft.buf, data_attr + 0x20, past - data_attr, 2)
        # Runs of one cluster to the record's end, with no end: bounded only by
        # the record, they would be read on past its last byte.
        fill = bytes([0x11, 0x01, 0x01]) * (rec_size // 3)
        mft.buf[past:rec_size] = fill[:rec_size - past]
    recs[0] = mft.done()
    r = Record().resident(0x10, std_info_value()).resident(0x30, file_name_value("small.txt"))
    recs[30] = r.resident(0x80, b"resident data\n").done(31)
    r = Record().resident(0x10, std_info_value())
    r.resident(0x30, file_name_value("two-runs.bin", 3 * cluster))
    r.nonresident(0x80, encode_runs([(1, data_cluster + 2), (2, data_cluster)]), 3 * cluster,
                  3 * cluster - 100)
    recs[31] = r.done(32)
    r = Record().resident(0x30, file_name_value("sparse.bin", 4 * cluster, 0x220))
    r.nonresident(0x80, encode_runs([(1, data_cluster), (2, None), (1, data_cluster + 1)]),
                  4 * cluster, 4 * cluster)
    recs[32] = r.done(33)
    r = Record(in_use=False).resident(0x30, file_name_value("DELETED~1.DOC", 0, 0x20))
    r.resident(0x30, file_name_value("deleted document.doc", cluster))
    recs[33] = r.nonresident(0x80, encode_runs([(1, data_cluster + 1)]), cluster, 77).done(34)
    r = Record().resident(0x30, file_name_value("streams.txt"))
    r.resident(0x80, b"main").resident(0x80, b"named stream")
    recs[34] = r.done(35)
    recs[35] = Record().resident(0x30, file_name_value("folder", 0, 0x10000010)).resident(
        0x90, bytes(32)).done(36)
    r = Record().resident(0x30, file_name_value("caf\u00e9 \u4e2d.txt"))
    recs[36] = r.resident(0x80, b"").done(37)
    r = Record().resident(0x30, file_name_value("x" * 220))  # crosses the first sector end
    recs[37] = r.done(38)
    table = bytearray(records * rec_size)
    for i, rec in recs.items():
        table[i * rec_size:(i + 1) * rec_size] = rec
    data = bytearray()
    for i in range(3):
        data += bytes([0x41 + i]) * cluster
    img = bytearray(table_cluster * cluster)
    img[:512] = boot_sector(512, spc, table_cluster, -10)
    return bytes(img) + bytes(table) + bytes(data)


def listed_volume(cluster=512, records=40):
    """Extents in an extension record named by an attribute list, and a
    compressed stream: an LZNT1 unit, an all-sparse one, a stored one."""
    table_cluster, rec_size = 4, 1024
    table_clusters = records * rec_size // cluster
    data = table_cluster + table_clusters
    recs = {}
    mft = Record().resident(0x30, file_name_value("$MFT", table_clusters * cluster, 6))
    mft.nonresident(0x80, encode_runs([(table_clusters, table_cluster)]), table_clusters * cluster,
                    records * rec_size)
    recs[0] = mft.done()
    entry = lambda vcn, rec, seq: (bytes([0x80, 0, 0, 0, 0x20, 0, 0, 0x1A]) + vcn.to_bytes(8, "little")
                                   + (rec | seq << 48).to_bytes(8, "little") + bytes(8))
    base = Record().resident(0x30, file_name_value("listed.bin", 3 * cluster))
    base.resident(0x20, entry(0, 30, 1) + entry(2, 31, 2))
    base.nonresident(0x80, encode_runs([(2, data)]), 3 * cluster, 3 * cluster - 10, 0, 1)
    put(base.buf, 0x10, 1, 2)
    recs[30] = base.done(31)
    ext = Record().nonresident(0x80, encode_runs([(1, data + 2)]), 0, 0, 2, 2)
    put(ext.buf, 0x10, 2, 2)
    put(ext.buf, 0x20, 30 | 1 << 48, 8)
    recs[31] = ext.done(32)
    text = b"The runs of a compressed unit end in a hole.\r\n" * 180
    packed = b"".join(lz_pack(text[k:k + 4096]) for k in range(0, len(text), 4096))
    used = (len(packed) + cluster - 1) // cluster
    unit = 4096 * 2 // cluster  # 16 clusters of 512 bytes
    comp = Record().resident(0x30, file_name_value("packed.txt", 3 * unit * cluster))
    off = comp.next
    comp.nonresident(0x80, encode_runs([(used, data + 3), (unit - used, None), (unit, None), (unit, data + 3)]),
                     3 * unit * cluster, 3 * unit * cluster - 100, 0, 3 * unit - 1)
    put(comp.buf, off + 0x0C, 1, 2)
    put(comp.buf, off + 0x22, 4, 2)
    recs[32] = comp.done(33)
    table = bytearray(records * rec_size)
    for i, rec in recs.items():
        table[i * rec_size:(i + 1) * rec_size] = rec
    img = bytearray(table_cluster * cluster)
    img[:512] = boot_sector(512, cluster // 512, table_cluster, -10)
    stored = bytearray(bytes([0x41, 0x42, 0x43]) * cluster)
    stored[3 * cluster:] = packed.ljust(unit * cluster, b"\0")
    return bytes(img) + bytes(table) + bytes(stored)


# ---- partition tables -----------------------------------------------------

def table_sector(entries):
    s = bytearray(512)
    for i, (ptype, first, count) in enumerate(entries[:4]):
        e = 446 + 16 * i
        s[e + 1] = 1
        s[e + 2] = 1
        s[e + 4] = ptype
        put(s, e + 8, first, 4)
        put(s, e + 12, count, 4)
    s[510:512] = b"\x55\xAA"
    return s


def disk(sectors, tables):
    img = bytearray(512 * sectors)
    for sector, entries in tables.items():
        img[512 * sector:512 * sector + 512] = table_sector(entries)
    return bytes(img)


GUIDS = {
    "efi": "C12A7328-F81F-11D2-BA4B-00A0C93EC93B",
    "msr": "E3C9E316-0B5C-4DB8-817D-F92DF00215AE",
    "data": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7",
    "linux": "0FC63DAF-8483-4772-8E79-3D69D8477DE4",
}


def guid_bytes(text):
    raw = bytes.fromhex(text.replace("-", ""))
    return raw[3::-1] + raw[5:3:-1] + raw[7:5:-1] + raw[8:]


def gpt_header(ss, my, alternate, entries_lba, first, last, count, size, array_crc):
    h = bytearray(ss)
    h[0:8] = b"EFI PART"
    put(h, 8, 0x00010000, 4)
    put(h, 12, 92, 4)
    put(h, 24, my, 8)
    put(h, 32, alternate, 8)
    put(h, 40, first, 8)
    put(h, 48, last, 8)
    h[56:72] = bytes(range(0xA0, 0xB0))
    put(h, 72, entries_lba, 8)
    put(h, 80, count, 4)
    put(h, 84, size, 4)
    put(h, 88, array_crc, 4)
    put(h, 16, zlib.crc32(bytes(h[:92])), 4)
    return h


def gpt_disk(ss, sectors, parts, count=128, size=128, boots=None):
    """parts: (type name, first LBA, last LBA); boots: {LBA: OEM name}."""
    img = bytearray(ss * sectors)
    array = bytearray(count * size)
    for i, (kind, first, last) in enumerate(parts):
        e = i * size
        array[e:e + 16] = guid_bytes(GUIDS[kind])
        array[e + 16:e + 32] = bytes([0x50 + i] * 16)
        put(array, e + 32, first, 8)
        put(array, e + 40, last, 8)
    n = (len(array) + ss - 1) // ss
    crc = zlib.crc32(bytes(array))
    img[0:512] = table_sector([(0xEE, 1, sectors - 1)])
    img[ss:2 * ss] = gpt_header(ss, 1, sectors - 1, 2, 2 + n, sectors - 2 - n, count, size, crc)
    img[2 * ss:2 * ss + len(array)] = array
    backup = (sectors - 1 - n) * ss
    img[backup:backup + len(array)] = array
    img[(sectors - 1) * ss:] = gpt_header(ss, sectors - 1, 1, sectors - 1 - n, 2 + n,
                                          sectors - 2 - n, count, size, crc)
    for lba, oem in (boots or {}).items():
        img[lba * ss + 3:lba * ss + 11] = oem
    return img


def gpt_seeds():
    parts = [("efi", 40, 49), ("msr", 50, 59), ("data", 60, 79), ("linux", 80, 94)]
    plain = gpt_disk(512, 128, parts, boots={60: b"NTFS    ", 80: b"EXFAT   "})
    yield "gpt-512", bytes(plain)
    yield "gpt-4096", bytes(gpt_disk(4096, 24, [("efi", 6, 9), ("data", 10, 17)],
                                     boots={10: b"NTFS    "}))
    yield "gpt-small-array", bytes(gpt_disk(512, 64, [("data", 10, 20)], count=4))
    backup_only = bytearray(plain)
    backup_only[512:1024] = bytes(512)
    yield "gpt-backup-only", bytes(backup_only)
    hybrid = bytearray(plain)
    hybrid[0:512] = table_sector([(7, 60, 20), (0xEE, 1, 127), (0x83, 80, 15)])
    yield "gpt-hybrid", bytes(hybrid)


def partition_seeds():
    yield from gpt_seeds()
    yield "four-primaries", disk(1, {0: [(7, 63, 100), (11, 200, 100), (6, 400, 10), (0x83, 500, 9)]})
    yield "empty", disk(1, {0: []})
    yield "chain", disk(16, {0: [(7, 63, 100), (5, 4, 1000)],
                             4: [(11, 1, 10), (5, 4, 10)],
                             8: [(7, 1, 10), (15, 8, 10)],
                             12: [(6, 1, 10), (1, 2, 3), (0x85, 4, 5), (7, 6, 7)]})
    yield "ebr-self-loop", disk(8, {0: [(5, 4, 100)], 4: [(7, 1, 10), (5, 0, 10)]})
    yield "ebr-to-sector-0", disk(1, {0: [(7, 63, 100), (15, 0, 100)]})
    yield "ebr-beyond-end", disk(8, {0: [(5, 4, 100)], 4: [(7, 1, 10), (5, 0x7FFFFFF0, 10)]})
    yield "starts-beyond-end", disk(1, {0: [(7, 0xFFFFFFF0, 0xFFFFFFFF), (12, 0x80000000, 1)]})
    yield "short", disk(1, {0: [(7, 63, 100)]})[:300]
    # Real master boot records: one written by sfdisk, one from the DFTT image.
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "disk.img")
        with open(path, "wb") as f:
            f.truncate(64 << 20)
        script = "label: dos\nstart=2048, size=20480, type=7\nstart=22528, type=5\n" \
                 "start=24576, size=8192, type=b\nstart=34816, size=8192, type=7\n"
        subprocess.run(["sfdisk", "-q", path], input=script.encode(), check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        with open(path, "rb") as f:
            yield "sfdisk-mbr", f.read(512)
        zip_path = os.path.join(TESTDATA, "dftt1-extend-part.zip")
        if os.path.exists(zip_path):
            subprocess.run(["unzip", "-q", "-o", zip_path, "-d", tmp], check=True)
            for root, _, names in os.walk(tmp):
                for name in names:
                    if name.endswith(".dd"):
                        with open(os.path.join(root, name), "rb") as f:
                            yield "dftt-mbr", f.read(512)


# ---- record seeds -----------------------------------------------------------

def config(rec, record_4k=False, cluster_4k=False, fixup=True):
    """Sets the record target's geometry byte (header byte 0x08)."""
    rec = bytearray(rec)
    rec[8] = (1 if record_4k else 0) | (2 if cluster_4k else 0) | (4 if fixup else 0)
    return bytes(rec)


def pick_records(table, rec_size, want):
    """A few records of each kind: resident or non-resident data, several
    runs, a hole, no data, not in use, an attribute list."""
    kinds = {}
    for i in range(len(table) // rec_size):
        rec = bytearray(table[i * rec_size:(i + 1) * rec_size])
        if rec[:4] != b"FILE":
            continue
        unprotect(rec, rec_size)
        types = []
        for off, atype in attributes(rec, rec_size):
            if atype == 0x80:
                if not rec[off + 8]:
                    types.append("resident")
                else:
                    rl = off + le(rec, off + 0x20, 2)
                    runs, holes, p = 0, False, rl
                    while p < rec_size and rec[p]:
                        holes |= (rec[p] >> 4) == 0
                        runs += 1
                        p += 1 + (rec[p] & 15) + (rec[p] >> 4)
                    types.append("holes" if holes else "runs" if runs > 1 else "nonresident")
            elif atype == 0x20:
                types.append("list")
        if not rec[0x16] & 1:
            types.append("deleted")
        for kind in types or ["nodata"]:
            if kinds.setdefault(kind, []).__len__() < want:
                kinds[kind].append(i)
    return sorted({i for ids in kinds.values() for i in ids})


def record_seeds(tmp):
    # Records of real volumes: the public test volume and an mkntfs volume.
    for name, path, cluster_4k in (("testfs1", "testfs1.bin.gz", False),
                                   ("dissect", "dissect-ntfs.bin.gz", True)):
        gz = os.path.join(TESTDATA, path)
        if not os.path.exists(gz):
            continue
        img = os.path.join(tmp, name + ".img")
        with gzip.open(gz) as src, open(img, "wb") as dst:
            shutil.copyfileobj(src, dst)
        table = subprocess.run(["icat", "-o", "0", img, "0"], check=True,
                               stdout=subprocess.PIPE).stdout
        for i in pick_records(table, 1024, 2)[:12]:
            yield "%s-%d" % (name, i), config(table[i * 1024:(i + 1) * 1024], cluster_4k=cluster_4k)
    vol = mkntfs(os.path.join(tmp, "v4k.img"), 2 << 20, "-s", "4096")
    table = subprocess.run(["icat", "-o", "0", os.path.join(tmp, "v4k.img"), "0"], check=True,
                           stdout=subprocess.PIPE).stdout
    yield "mkntfs4k-0", config(table[:4096], record_4k=True, cluster_4k=True)
    # Hand-made: data runs that read clusters of the input itself (cluster 0
    # is the record; 512-byte clusters).
    r = Record().resident(0x10, std_info_value()).resident(0x30, file_name_value("runs.bin"))
    r.nonresident(0x80, encode_runs([(2, 4), (1, 2), (1, None), (1, 3)]), 5 * 512, 5 * 512 - 3)
    yield "hand-runs", config(r.done()) + bytes(range(256)) * 12
    r = Record().resident(0x30, file_name_value("A~1")).resident(0x30, file_name_value("a long name"))
    r.resident(0x80, b"one").resident(0x80, b"two").nonresident(0x80, encode_runs([(1, 2)]), 0, 0, 0, 0)
    yield "hand-names-streams", config(r.done()) + b"\xAB" * 512
    r = Record().resident(0x30, file_name_value("back.bin"))
    r.nonresident(0x80, bytes([0x11, 1, 4, 0x11, 1, 0xFE, 0]), 2 * 512, 1000)
    yield "hand-negative-run", config(r.done()) + b"\xCD" * 2048
    r = Record().resident(0x30, file_name_value("vcns.bin"))
    r.nonresident(0x80, encode_runs([(4, 1)]), 0, 0, 16, 19)
    yield "hand-vcn-extent", config(r.done()) + b"\xEF" * 2048
    yield "hand-4k", config(Record(4096).resident(0x30, file_name_value("big record")).done(),
                            record_4k=True, cluster_4k=True)
    # A run list offset past the attribute's end, inside the record.
    r = Record().resident(0x30, file_name_value("past.bin"))
    data_attr = r.next
    r.nonresident(0x80, encode_runs([(1, 2)]), 512, 100)
    past = data_attr + le(r.buf, data_attr + 4, 4) + 0x40
    put(r.buf, data_attr + 0x20, past - data_attr, 2)
    r.buf[past:1024] = (bytes([0x11, 0x01, 0x01]) * 342)[:1024 - past]
    yield "hand-runlist-past-attribute", config(r.done()) + b"\x5A" * 1024
    # Torn and never-used records, as the walk classifies them.
    torn = bytearray(config(Record().resident(0x30, file_name_value("torn.txt")).done()))
    torn[510] ^= 0xFF
    yield "hand-torn", bytes(torn)
    baad = bytearray(config(Record().resident(0x30, file_name_value("baad.txt")).done()))
    baad[0:4] = b"BAAD"
    yield "hand-baad", bytes(baad)
    yield "hand-free-empty", config(Record(in_use=False).done())


def volume_seeds(tmp):
    yield "mkntfs-c4096", compact_volume(mkntfs(os.path.join(tmp, "a.img"), 2 << 20, "-c", "4096"), 27)
    yield "mkntfs-c512", compact_volume(mkntfs(os.path.join(tmp, "b.img"), 2 << 20, "-c", "512"), 27)
    yield "mkntfs-c1024", compact_volume(mkntfs(os.path.join(tmp, "c.img"), 2 << 20, "-c", "1024"), 27)
    yield "mkntfs-s4096", compact_volume(mkntfs(os.path.join(tmp, "d.img"), 2 << 20, "-s", "4096"), 8)
    for name, path, keep in (("testfs1", "testfs1.bin.gz", 72), ("dissect", "dissect-ntfs.bin.gz", 48)):
        gz = os.path.join(TESTDATA, path)
        if os.path.exists(gz):
            with gzip.open(gz) as src:
                yield name, compact_volume(src.read(), keep)
    yield "handmade-c512", handmade_volume(512)
    yield "handmade-c4096", handmade_volume(4096, 40)
    yield "handmade-listed", listed_volume()
    yield "handmade-runlist-past-attribute", handmade_volume(512, list_past_attribute=True)


# ---- LZNT1 streams -------------------------------------------------------

def lz_chunk(data, compressed=True):
    return (len(data) - 1 | (0xB000 if compressed else 0x3000)).to_bytes(2, "little") + bytes(data)


class LzTokens:
    """The data of one compressed chunk: flag bytes, literals and copy tokens."""

    def __init__(self):
        self.data = bytearray()
        self.count = 0
        self.pos = 0  # bytes the chunk has produced
        self.flag = 0

    def _flag(self, copy):
        if self.count % 8 == 0:
            self.flag = len(self.data)
            self.data.append(0)
        if copy:
            self.data[self.flag] |= 1 << (self.count % 8)
        self.count += 1

    def literals(self, text):
        for b in text:
            self._flag(False)
            self.data.append(b)
            self.pos += 1
        return self

    def copy(self, disp, length):
        bits = 4
        while (1 << bits) < self.pos:
            bits += 1
        self._flag(True)
        self.data += (((disp - 1) << (16 - bits)) | (length - 3)).to_bytes(2, "little")
        self.pos += length
        return self


def lz_pack(plain):
    """Greedy compression of one chunk, longest match first (slow, for seeds)."""
    t = LzTokens()
    i = 0
    while i < len(plain):
        bits = 4
        while (1 << bits) < i:
            bits += 1
        best, disp = 0, 0
        for j in range(max(0, i - (1 << bits)), i):
            n = 0
            limit = min(len(plain) - i, (1 << (16 - bits)) + 2)
            while n < limit and plain[j + n] == plain[i + n]:
                n += 1
            if n > best:
                best, disp = n, i - j
        if best >= 3:
            t.copy(disp, best)
            i += best
        else:
            t.literals(plain[i:i + 1])
            i += 1
    return lz_chunk(t.data)


def lznt1_seeds():
    yield "windows-one-letter", b"\x03\xb0\x02A\xfc\x0f" * 16
    yield "literals", lz_chunk(LzTokens().literals(b"Salvix read").data)
    yield "stored-then-compressed", (lz_chunk(bytes(range(256)) * 16, False)
                                     + lz_chunk(LzTokens().literals(b"abc").copy(2, 5).data))
    yield "short-chunks", (lz_chunk(LzTokens().literals(b"seven b").data) + lz_chunk(b"stored", False)
                           + lz_chunk(LzTokens().literals(b"z").data))
    widths = LzTokens().literals(bytes((i * 37 + i // 251) & 0xFF for i in range(16)))
    while widths.pos < 2048:
        widths.copy(widths.pos, 3).literals(bytes((widths.pos * 11 + k) & 0xFF for k in range(widths.pos - 3)))
    yield "every-width", lz_chunk(widths.copy(2048, 18).data)
    overlap = LzTokens().literals(b"abcdefghij")
    for disp in range(1, 11):
        overlap.copy(disp, 37)
    yield "overlapping", lz_chunk(overlap.data)
    yield "zero-header", lz_chunk(LzTokens().literals(b"x").data) + b"\0\0" + lz_chunk(b"after", False)
    text = b"The record of a deleted file keeps its runs; the runs name the clusters.\r\n" * 40
    yield "text", b"".join(lz_pack(text[k:k + 4096]) for k in range(0, len(text), 4096))
    yield "bad-length", b"\x03\xb0\x00ab"
    yield "bad-copy-before-chunk", lz_chunk(LzTokens().literals(b"abc").copy(4, 3).data)
    yield "bad-token-cut", b"\x02\xb0\x02a\x00" + lz_chunk(b"xy")
    yield "bad-flag-at-end", lz_chunk(LzTokens().literals(b"abcdefgh").data + b"\0")
    yield "bad-past-4096", lz_chunk(LzTokens().literals(b"A").copy(1, 4096).data)


def main():
    """make_corpus.py [OUT [TARGET...]]: all targets unless some are named."""
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "corpus")
    only = set(sys.argv[2:])
    with tempfile.TemporaryDirectory() as tmp:
        makers = {"record": lambda: record_seeds(tmp), "volume": lambda: volume_seeds(tmp),
                  "partition": partition_seeds, "lznt1": lznt1_seeds}
        for target, make in makers.items():
            if only and target not in only:
                continue
            seeds = make()
            folder = os.path.join(out, target)
            os.makedirs(folder, exist_ok=True)
            for name, data in seeds:
                with open(os.path.join(folder, "seed-" + name), "wb") as f:
                    f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
