#include "WorkbookTestTools.h"

#include <QFile>
#include <QProcess>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace WorkbookTestTools {

std::vector<QDate> months(int firstYear, int lastYear)
{
    std::vector<QDate> dates;
    for (int y = firstYear; y <= lastYear; ++y)
        for (int m = 1; m <= 12; ++m)
            dates.emplace_back(y, m, 1);
    return dates;
}

std::vector<double> series(int count, int seed)
{
    std::mt19937_64 rng(static_cast<unsigned long long>(seed));
    std::uniform_real_distribution<double> dist(-1e9, 1e9);
    std::vector<double> values;
    for (int i = 0; i < count; ++i)
        values.push_back(i % 17 == 3 ? std::numeric_limits<double>::quiet_NaN() : dist(rng));
    return values;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray runPython(const QString& script, const QStringList& args, bool* ok, QString* errors)
{
    QProcess process;
    process.start(
        QStringLiteral("/usr/bin/python3"), QStringList { QStringLiteral("-c"), script } + args);
    const bool finished = process.waitForFinished(300000);
    *errors = QString::fromUtf8(process.readAllStandardError());
    *ok = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return process.readAllStandardOutput();
}

QByteArray withoutEntryTimes(QByteArray zip)
{
    auto u16 = [&](int at) {
        return static_cast<quint32>(static_cast<uchar>(zip.at(at)))
            | static_cast<quint32>(static_cast<uchar>(zip.at(at + 1))) << 8;
    };
    auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
    auto clear = [&](int at) {
        for (int i = 0; i < 4; ++i)
            zip[at + i] = '\0';
    };
    const int end = zip.lastIndexOf(QByteArray("PK\x05\x06", 4));
    if (end < 0 || end + 22 > zip.size())
        return {};
    const quint32 entries = u16(end + 10);
    int at = static_cast<int>(u32(end + 16));
    for (quint32 n = 0; n < entries; ++n) {
        if (at < 0 || at + 46 > zip.size() || zip.mid(at, 4) != QByteArray("PK\x01\x02", 4))
            return {};
        const int local = static_cast<int>(u32(at + 42));
        if (local < 0 || local + 30 > zip.size()
            || zip.mid(local, 4) != QByteArray("PK\x03\x04", 4))
            return {};
        clear(at + 12);
        clear(local + 10);
        at += 46 + static_cast<int>(u16(at + 28) + u16(at + 30) + u16(at + 32));
    }
    return zip;
}

QByteArray excelSummaryStream()
{
    auto le = [](QByteArray& d, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            d.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    QByteArray first;
    le(first, 24, 4);
    le(first, 1, 4);
    le(first, 1, 4);
    le(first, 16, 4);
    le(first, 2, 2);
    le(first, 0, 2);
    le(first, 1252, 2);
    le(first, 0, 2);
    QByteArray dictionary;
    le(dictionary, 1, 4);
    le(dictionary, 2, 4);
    le(dictionary, 9, 4);
    dictionary += QByteArray("Reviewer", 9);
    while (dictionary.size() % 4)
        dictionary.append('\0');
    QByteArray codePage;
    le(codePage, 2, 2);
    le(codePage, 0, 2);
    le(codePage, 1252, 2);
    le(codePage, 0, 2);
    QByteArray text;
    le(text, 0x1E, 2);
    le(text, 0, 2);
    le(text, 4, 4);
    text += QByteArray("Pat", 4);
    QByteArray second;
    const quint32 header = 8 + 3 * 8;
    le(second, header + dictionary.size() + codePage.size() + text.size(), 4);
    le(second, 3, 4);
    le(second, 0, 4);
    le(second, header, 4);
    le(second, 1, 4);
    le(second, header + dictionary.size(), 4);
    le(second, 2, 4);
    le(second, header + dictionary.size() + codePage.size(), 4);
    second += dictionary + codePage + text;
    QByteArray stream;
    le(stream, 0xFFFE, 2);
    le(stream, 0, 2);
    le(stream, 0x00020006, 4);
    stream += QByteArray(16, '\0');
    le(stream, 2, 4);
    stream += QByteArray::fromHex("02d5cdd59c2e1b10939708002b2cf9ae");
    le(stream, 68, 4);
    stream += QByteArray::fromHex("05d5cdd59c2e1b10939708002b2cf9ae");
    le(stream, 68 + first.size(), 4);
    return stream + first + second;
}

double hexToDouble(const QString& hex)
{
    return std::strtod(hex.toLatin1().constData(), nullptr);
}

const char* const DumpXlsxScript = R"PY(
import json, sys, datetime, openpyxl
from openpyxl.utils.datetime import to_excel
wb = openpyxl.load_workbook(sys.argv[1])
out = {"sheets": wb.sheetnames, "cells": {}, "names": []}
for ws in wb.worksheets:
    cells = []
    for row in ws.iter_rows():
        for c in row:
            v = c.value
            if v is None:
                continue
            if isinstance(v, bool):
                kind, val = "bool", str(v)
            elif isinstance(v, (int, float)):
                kind, val = "number", float(v).hex()
            elif isinstance(v, datetime.datetime):
                kind, val = "date", float(to_excel(v)).hex()
            elif isinstance(v, str) and c.data_type == "f":
                kind, val = "formula", v
            else:
                kind, val = "text", str(v)
            cells.append([c.row - 1, c.column - 1, kind, val, c.number_format,
                          c.alignment.horizontal or "", bool(c.font.b)])
    out["cells"][ws.title] = cells
for dn in wb.defined_names.definedName:
    out["names"].append([dn.name, -1 if dn.localSheetId is None else int(dn.localSheetId), dn.attr_text])
print(json.dumps(out))
)PY";

const char* const DumpXlsScript = R"PY(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
out = {"sheets": book.sheet_names(), "cells": {}, "names": []}
for sh in book.sheets():
    cells = []
    for r in range(sh.nrows):
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
                continue
            xf = book.xf_list[cell.xf_index]
            fmt = book.format_map[xf.format_key].format_str
            align = {0: "", 1: "left", 2: "center", 3: "right"}.get(xf.alignment.hor_align, "other")
            bold = bool(book.font_list[xf.font_index].bold)
            if cell.ctype == xlrd.XL_CELL_TEXT:
                kind, val = "text", cell.value
            elif cell.ctype == xlrd.XL_CELL_DATE:
                kind, val = "date", float(cell.value).hex()
            elif cell.ctype == xlrd.XL_CELL_NUMBER:
                kind, val = "number", float(cell.value).hex()
            else:
                kind, val = "other", str(cell.value)
            cells.append([r, c, kind, val, fmt, align, bold])
    out["cells"][sh.name] = cells
for nm in book.name_obj_list:
    out["names"].append([nm.name, nm.scope if nm.scope >= 0 else -1, ""])
print(json.dumps(out))
)PY";

const char* const CheckPackageScript = R"PY(
import sys, struct, zipfile, posixpath, re
import xml.etree.ElementTree as ET
path = sys.argv[1]
problems = []
z = zipfile.ZipFile(path)
raw = open(path, "rb").read()
names = z.namelist()
if len(set(n.lower() for n in names)) != len(names):
    problems.append("duplicate entry names")
for info in z.infolist():
    if info.compress_type not in (0, 8):
        problems.append("compression %d in %s" % (info.compress_type, info.filename))
    if info.extract_version > 20:
        problems.append("version needed %d in %s" % (info.extract_version, info.filename))
    def has_zip64(extra):
        i = 0
        while i + 4 <= len(extra):
            hid, size = struct.unpack("<HH", extra[i:i + 4])
            if hid == 1:
                return True
            i += 4 + size
        return False
    if has_zip64(info.extra):
        problems.append("central ZIP64 extra in " + info.filename)
    off = info.header_offset
    sig, ver, flag, meth, t, d, crc, csize, usize, nlen, xlen = struct.unpack("<IHHHHHIIIHH", raw[off:off + 30])
    if sig != 0x04034b50:
        problems.append("bad local header for " + info.filename)
    if ver > 20:
        problems.append("local version needed %d in %s" % (ver, info.filename))
    if has_zip64(raw[off + 30 + nlen:off + 30 + nlen + xlen]):
        problems.append("local ZIP64 extra in " + info.filename)
bad = z.testzip()
if bad:
    problems.append("bad CRC in " + bad)
parts = {}
for n in names:
    data = z.read(n)
    if n.endswith(".xml") or n.endswith(".rels"):
        try:
            parts[n] = ET.fromstring(data)
        except ET.ParseError as e:
            problems.append("malformed %s: %s" % (n, e))
CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
types = parts["[Content_Types].xml"]
defaults = {e.get("Extension").lower() for e in types.iter(CT + "Default")}
overrides = {e.get("PartName").lower() for e in types.iter(CT + "Override")}
lower = {("/" + n).lower() for n in names}
for o in overrides:
    if o not in lower:
        problems.append("override for missing part " + o)
for n in names:
    if n.endswith("/") or n == "[Content_Types].xml":
        continue
    if ("/" + n).lower() not in overrides and n.rsplit(".", 1)[-1].lower() not in defaults:
        problems.append("no content type for " + n)
R = "{http://schemas.openxmlformats.org/package/2006/relationships}"
for n, root in parts.items():
    if not n.endswith(".rels"):
        continue
    source_dir = posixpath.dirname(posixpath.dirname(n))
    ids = [r.get("Id") for r in root.iter(R + "Relationship")]
    if len(ids) != len(set(ids)):
        problems.append("duplicate relationship ids in " + n)
    for r in root.iter(R + "Relationship"):
        if r.get("TargetMode") == "External":
            continue
        t = r.get("Target")
        full = t[1:] if t.startswith("/") else posixpath.normpath(posixpath.join(source_dir, t))
        if ("/" + full).lower() not in lower:
            problems.append("relationship %s in %s points at missing %s" % (r.get("Id"), n, full))
M = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
wbname = [n for n in names if n.lower() == "xl/workbook.xml"][0]
wb = parts[wbname]
sheets = list(wb.iter(M + "sheet"))
ids = [s.get("sheetId") for s in sheets]
if len(ids) != len(set(ids)):
    problems.append("duplicate sheetIds")
lowers = [s.get("name").lower() for s in sheets]
if len(lowers) != len(set(lowers)):
    problems.append("duplicate sheet names")
for dn in wb.iter(M + "definedName"):
    if dn.get("localSheetId") is not None and int(dn.get("localSheetId")) >= len(sheets):
        problems.append("localSheetId out of range")
for v in wb.iter(M + "workbookView"):
    for a in ("activeTab", "firstSheet"):
        if v.get(a) is not None and int(v.get(a)) >= len(sheets):
            problems.append(a + " out of range")
selected = 0
styles = [p for n, p in parts.items() if n.lower().endswith("styles.xml")][0]
xf_count = len(list(styles.find(M + "cellXfs")))
fmt_ids = {int(f.get("numFmtId")) for f in styles.iter(M + "numFmt")}
for x in styles.find(M + "cellXfs"):
    i = int(x.get("numFmtId", "0"))
    if i >= 164 and i not in fmt_ids:
        problems.append("cell format refers to missing number format %d" % i)
for n, root in parts.items():
    if root.tag != M + "worksheet":
        continue
    for sv in root.iter(M + "sheetView"):
        if sv.get("tabSelected") in ("1", "true"):
            selected += 1
    order = [c.tag for c in root]
    rank = [M + t for t in ("sheetPr", "dimension", "sheetViews", "sheetFormatPr", "cols", "sheetData")]
    seen = [rank.index(t) for t in order if t in rank]
    if seen != sorted(seen):
        problems.append("worksheet children out of order in " + n)
    last_row = 0
    for row in root.iter(M + "row"):
        r = int(row.get("r"))
        if r <= last_row:
            problems.append("rows not ascending in " + n)
        last_row = r
        for c in row.iter(M + "c"):
            if int(c.get("s", "0")) >= xf_count:
                problems.append("style index out of range in " + n)
            v = c.find(M + "v")
            if v is not None and re.search("nan|inf", v.text or "", re.I):
                problems.append("non-finite value in " + n)
VT = "{http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes}"
EP = "{http://schemas.openxmlformats.org/officeDocument/2006/extended-properties}"
if "docProps/app.xml" in parts:
    app = parts["docProps/app.xml"]
    for vec in app.iter(VT + "vector"):
        if int(vec.get("size")) != len(list(vec)):
            problems.append("app properties vector size mismatch")
    pairs = app.find(EP + "HeadingPairs")
    titles = app.find(EP + "TitlesOfParts")
    if pairs is not None and titles is not None:
        variants = list(pairs.iter(VT + "variant"))
        counts = {}
        for i in range(0, len(variants) - 1, 2):
            counts[variants[i][0].text] = int(variants[i + 1][0].text)
        # Worksheets first, then chartsheets, each in the workbook's order.
        wbrels = parts.get("xl/_rels/workbook.xml.rels")
        kinds = {r.get("Id"): r.get("Type").rsplit("/", 1)[-1] for r in wbrels.iter(R + "Relationship")} if wbrels is not None else {}
        RID = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}id"
        worksheets = [s.get("name") for s in sheets if kinds.get(s.get(RID)) != "chartsheet"]
        charts = [s.get("name") for s in sheets if kinds.get(s.get(RID)) == "chartsheet"]
        titles_all = [t.text for t in titles.iter(VT + "lpstr")]
        listed = titles_all[:counts.get("Worksheets", 0)]
        if listed != worksheets:
            problems.append("app properties list %s, the workbook %s" % (listed, worksheets))
        if "Charts" in counts:
            heads = [variants[i][0].text for i in range(0, len(variants) - 1, 2)]
            start = sum(counts[h] for h in heads[:heads.index("Charts")])
            listed_charts = titles_all[start:start + counts["Charts"]]
            if listed_charts != charts:
                problems.append("app properties list charts %s, the workbook %s" % (listed_charts, charts))
if selected > 1:
    problems.append("%d selected tabs (group mode)" % selected)
for p in problems:
    print(p)
)PY";

const char* const PartHashesScript = R"PY(
import sys, json, zipfile, hashlib
z = zipfile.ZipFile(sys.argv[1])
print(json.dumps({n: hashlib.sha256(z.read(n)).hexdigest() for n in z.namelist()}))
)PY";

const char* const FingerprintScript = R"PY(
import sys, json, struct, hashlib, datetime
from decimal import Decimal
path = sys.argv[1]

def shortest(v):
    # The shortest digits that read back as v (repr), written as C++ to_chars writes them:
    # fixed or scientific, whichever is shorter, fixed on a tie; at least two exponent digits.
    if v == 0:
        return "0"
    sign, digits, exp = Decimal(repr(float(v))).as_tuple()
    digits = list(digits)
    while len(digits) > 1 and digits[-1] == 0:
        digits.pop()
        exp += 1
    ds = "".join(map(str, digits))
    n = len(ds)
    e = exp + n - 1
    sci = ds[0] + ("." + ds[1:] if n > 1 else "") + "e" + ("-" if e < 0 else "+") + "%02d" % abs(e)
    if exp >= 0:
        fixed = ds + "0" * exp
    elif -exp >= n:
        fixed = "0." + "0" * (-exp - n) + ds
    else:
        fixed = ds[:n + exp] + "." + ds[n + exp:]
    return ("-" if sign else "") + (fixed if len(fixed) <= len(sci) else sci)

def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")

def canonical(header, rows):
    text = "\t".join(escape(h) for h in header) + "\n"
    for date, values in rows:
        text += date + "".join("\t" + v for v in values) + "\n"
    return hashlib.sha256(text.encode("utf-8")).hexdigest()

def value_text(v):
    if v is None:
        return ""
    if isinstance(v, str):
        return v
    return shortest(v)

out = {"properties": {}, "hashes": {}, "declared": False, "count": 0}
if path.lower().endswith(".xls"):
    import olefile, xlrd
    ole = olefile.OleFileIO(path)
    ole.get_metadata()  # the first property set stays readable
    name = "\x05DocumentSummaryInformation"
    if ole.exists(name):
        data = ole.openstream(name).read()
        out["declared"] = True
        count = struct.unpack_from("<I", data, 24)[0]
        user = bytes.fromhex("05d5cdd59c2e1b10939708002b2cf9ae")
        for k in range(count):
            if data[28 + 20 * k:44 + 20 * k] != user:
                continue
            base = struct.unpack_from("<I", data, 44 + 20 * k)[0]
            n = struct.unpack_from("<I", data, base + 4)[0]
            entries = [struct.unpack_from("<II", data, base + 8 + 8 * i) for i in range(n)]
            offsets = dict(entries)
            cp = struct.unpack_from("<H", data, base + offsets[1] + 4)[0] if 1 in offsets else 1252
            names = {}
            p = base + offsets[0] + 4
            for _ in range(struct.unpack_from("<I", data, base + offsets[0])[0]):
                pid, length = struct.unpack_from("<II", data, p)
                p += 8
                if cp == 1200:
                    names[pid] = data[p:p + 2 * length].decode("utf-16-le").rstrip("\x00")
                    p += 2 * length + (4 - (2 * length) % 4) % 4
                else:
                    names[pid] = data[p:p + length].decode("cp%d" % cp).rstrip("\x00")
                    p += length
            for pid, off in entries:
                if pid not in names:
                    continue
                q = base + off
                vt = struct.unpack_from("<H", data, q)[0]
                if vt == 3:
                    val = ["i4", struct.unpack_from("<i", data, q + 4)[0]]
                elif vt == 0x1F:
                    m = struct.unpack_from("<I", data, q + 4)[0]
                    val = ["lpwstr", data[q + 8:q + 8 + 2 * m].decode("utf-16-le").rstrip("\x00")]
                elif vt == 0x1E:
                    m = struct.unpack_from("<I", data, q + 4)[0]
                    raw = data[q + 8:q + 8 + m]
                    val = ["lpstr", raw.decode("utf-16-le" if cp == 1200 else "cp%d" % cp).rstrip("\x00")]
                elif vt == 0x40:
                    ticks = struct.unpack_from("<Q", data, q + 4)[0]
                    t = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ticks // 10)
                    val = ["filetime", t.strftime("%Y-%m-%dT%H:%M:%SZ")]
                else:
                    val = ["vt%d" % vt, None]
                out["properties"][names[pid]] = val
                out["count"] += 1
    book = xlrd.open_workbook(path)
    for sh in book.sheets():
        header = [str(sh.cell_value(0, c)) for c in range(1, sh.ncols)]
        rows = []
        for r in range(1, sh.nrows):
            cell = sh.cell(r, 0)
            date = xlrd.xldate_as_datetime(cell.value, book.datemode).strftime("%Y-%m-%d") if cell.ctype == xlrd.XL_CELL_DATE else ""
            values = []
            for c in range(1, sh.ncols):
                cell = sh.cell(r, c)
                values.append("" if cell.ctype in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK) else value_text(cell.value))
            rows.append((date, values))
        out["hashes"][sh.name] = canonical(header, rows)
else:
    import zipfile, openpyxl
    import xml.etree.ElementTree as ET
    z = zipfile.ZipFile(path)
    R = "{http://schemas.openxmlformats.org/package/2006/relationships}"
    CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
    CP = "{http://schemas.openxmlformats.org/officeDocument/2006/custom-properties}"
    rels = ET.fromstring(z.read("_rels/.rels"))
    targets = [r.get("Target").lstrip("/") for r in rels.iter(R + "Relationship") if r.get("Type").endswith("/custom-properties")]
    types = ET.fromstring(z.read("[Content_Types].xml"))
    declared = {o.get("PartName").lstrip("/").lower() for o in types.iter(CT + "Override") if o.get("ContentType") == "application/vnd.openxmlformats-officedocument.custom-properties+xml"}
    if targets:
        out["declared"] = targets[0].lower() in declared
        root = ET.fromstring(z.read(targets[0]))
        for p in root.iter(CP + "property"):
            child = list(p)[0]
            kind = child.tag.split("}")[1]
            text = child.text or ""
            out["properties"][p.get("name")] = [kind, int(text) if kind in ("i4", "i8") else text]
            out["count"] += 1
    wb = openpyxl.load_workbook(path)
    for ws in wb.worksheets:
        header = [str(ws.cell(1, c).value or "") for c in range(2, ws.max_column + 1)]
        rows = []
        for r in range(2, ws.max_row + 1):
            d = ws.cell(r, 1).value
            date = d.strftime("%Y-%m-%d") if isinstance(d, datetime.datetime) else ""
            rows.append((date, [value_text(ws.cell(r, c).value) for c in range(2, ws.max_column + 1)]))
        out["hashes"][ws.title] = canonical(header, rows)
print(json.dumps(out))
)PY";

const char* const ForeignXlsScript = R"PY(
import sys, xlwt
wb = xlwt.Workbook()
ws = wb.add_sheet("Notes")
ws.write(0, 0, "kept as it is")
ws.write(1, 1, 3.5)
wb.save(sys.argv[1])
)PY";

const char* const ForeignXlsxScript = R"PY(
import sys, zipfile, openpyxl
path = sys.argv[1]
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Notes"
ws["A1"] = "kept as it is"
ws["B2"] = 3.5
wb.save(path)
z = zipfile.ZipFile(path)
items = [(i, z.read(i.filename)) for i in z.infolist()]
z.close()
out = zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED)
for info, data in items:
    if info.filename == "[Content_Types].xml":
        data = data.replace(b"</Types>", b'<Override PartName="/docProps/custom.xml" ContentType="application/vnd.openxmlformats-officedocument.custom-properties+xml"/></Types>')
    if info.filename == "_rels/.rels":
        data = data.replace(b"</Relationships>", b'<Relationship Id="rIdReviewer" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties" Target="docProps/custom.xml"/></Relationships>')
    out.writestr(info, data)
out.writestr("docProps/custom.xml", '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Properties xmlns="http://schemas.openxmlformats.org/officeDocument/2006/custom-properties" xmlns:vt="http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes"><property fmtid="{D5CDD505-2E9C-101B-9397-08002B2CF9AE}" pid="2" name="Reviewer"><vt:lpwstr>Pat</vt:lpwstr></property></Properties>')
out.close()
)PY";

} // namespace WorkbookTestTools
