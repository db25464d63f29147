#!/usr/bin/env python3
"""Corpus check of annot on PDF and XFDF files written by other programs.

  corpus_check.py file WORK ANNOT FILE    check one file, write WORK/<id>.json
  corpus_check.py report WORK [--worst N] print the per-kind tables

For a PDF it runs `annot regenerate`, `annot regenerate --missing-only` and an
XFDF round trip (export, then import into the file without its markup
annotations), and compares each annotation before and after: the ink inside
its box as MuPDF and poppler draw it, and its words per `pdftotext -bbox`.
For an XFDF file it imports it into its PDF (the one it names, else the PDF of
the same name beside it, else blank pages), exports that again and compares
the two XFDF documents attribute by attribute, and the renders of the two
imports.  Only the Python standard library is used: renders are read as PGM.
"""
import base64
import collections
import hashlib
import html
import json
import os
import re
import subprocess
import sys
import tempfile
import unicodedata
import xml.etree.ElementTree as ET
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
LISTER = os.path.join(HERE, "corpus_annots.js")
DPI = int(os.environ.get("CORPUS_DPI", "72"))
MAX_PAGES = int(os.environ.get("CORPUS_MAX_PAGES", "12"))
CMD_TIMEOUT = int(os.environ.get("CORPUS_TIMEOUT", "120"))
# A pixel differs when its grey level moves by more than PIXEL_DELTA; an
# annotation's ink differs when more than INK_SHARE of its box and at least
# INK_MIN pixels differ (anti-aliasing of an unchanged edge stays below both).
PIXEL_DELTA = 48
INK_SHARE = 0.02
INK_MIN = 6
SKIP_KINDS = {"Popup"}
XFDF_KINDS = {"text", "freetext", "line", "square", "circle", "polygon", "polyline",
              "highlight", "underline", "squiggly", "strikeout", "stamp", "caret",
              "ink", "fileattachment", "sound", "link", "redact"}
KIND_NAMES = {k: k.capitalize() for k in XFDF_KINDS}
KIND_NAMES.update({"freetext": "FreeText", "polyline": "PolyLine", "strikeout": "StrikeOut",
                   "fileattachment": "FileAttachment"})
XFDF_PDF_KINDS = set(KIND_NAMES.values()) - {"Link"}


def run(args, timeout=CMD_TIMEOUT):
    """Runs a command; returns (status, stderr tail). Status is the exit code,
    -N for a signal, or 'timeout'."""
    try:
        p = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout", ""
    err = p.stderr.decode("utf-8", "replace").strip().splitlines()
    return p.returncode, " | ".join(err[-2:])[:300]


def list_annots(path):
    """Pages with annotations {page: bounds} and annotations [dict], or None."""
    try:
        p = subprocess.run(["mutool", "run", LISTER, "list", path], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=CMD_TIMEOUT)
    except subprocess.TimeoutExpired:
        return None
    pages, annots = {}, []
    for line in p.stdout.decode("utf-8", "replace").splitlines():
        f = line.split("\t")
        try:
            if f[0] == "P" and len(f) == 6:
                pages[int(f[1])] = tuple(float(v) for v in f[2:6])
            elif f[0] == "A" and len(f) == 11:
                annots.append({"page": int(f[1]), "index": int(f[2]), "kind": f[3],
                               "name": f[4], "flags": int(float(f[5])), "ap": f[6] == "1",
                               "box": tuple(float(v) for v in f[7:11])})
        except ValueError:
            continue
    return pages, annots


def read_pgm(path):
    """(width, height, bytes) of a binary PGM (P5, 8 bit), or None."""
    try:
        with open(path, "rb") as fh:
            data = fh.read()
    except OSError:
        return None
    m = re.match(rb"P5\s+(?:#[^\n]*\s+)*(\d+)\s+(\d+)\s+(\d+)\s", data)
    if not m:
        return None
    w, h = int(m.group(1)), int(m.group(2))
    pix = data[m.end():m.end() + w * h]
    return (w, h, pix) if len(pix) == w * h else None


def render(pdf, pages, work, tag):
    """Renders the given pages with both renderers and extracts their words.
    Returns {page: {"mupdf": pgm, "poppler": pgm, "words": [(x0,y0,x1,y1,w)]}}."""
    out = {}
    for p in pages:
        r = {}
        mu = os.path.join(work, "%s-mu-%d.pgm" % (tag, p))
        run(["mutool", "draw", "-q", "-r", str(DPI), "-c", "gray", "-o", mu, pdf, str(p)])
        r["mupdf"] = read_pgm(mu)
        pop = os.path.join(work, "%s-pop-%d" % (tag, p))
        run(["pdftoppm", "-q", "-r", str(DPI), "-gray", "-f", str(p), "-l", str(p),
             "-singlefile", pdf, pop])
        r["poppler"] = read_pgm(pop + ".pgm")
        for f in (mu, pop + ".pgm"):
            if os.path.exists(f):
                os.remove(f)
        r["words"] = words(pdf, p)
        out[p] = r
    return out


WORD = re.compile(r'<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">(.*?)</word>')


def words(pdf, page):
    try:
        p = subprocess.run(["pdftotext", "-q", "-bbox", "-f", str(page), "-l", str(page), pdf, "-"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=CMD_TIMEOUT)
    except subprocess.TimeoutExpired:
        return []
    return [(float(a), float(b), float(c), float(d), html.unescape(w))
            for a, b, c, d, w in WORD.findall(p.stdout.decode("utf-8", "replace"))]


def crop_diff(before, after, bounds, box):
    """Share of differing pixels inside box (points in rendered page space),
    and how many differ; None when a render is missing or sizes differ."""
    if not before or not after or before[:2] != after[:2]:
        return None
    w, h, a = before
    b = after[2]
    s = DPI / 72.0
    x0 = max(0, int((box[0] - bounds[0]) * s) - 1)
    y0 = max(0, int((box[1] - bounds[1]) * s) - 1)
    x1 = min(w, int((box[2] - bounds[0]) * s + 0.999) + 1)
    y1 = min(h, int((box[3] - bounds[1]) * s + 0.999) + 1)
    if x1 <= x0 or y1 <= y0:
        return (0.0, 0)
    differ = 0
    for y in range(y0, y1):
        ra = a[y * w + x0:y * w + x1]
        rb = b[y * w + x0:y * w + x1]
        if ra == rb:
            continue
        for i, (p, q) in enumerate(zip(ra, rb)):
            if abs(p - q) > PIXEL_DELTA and not (near(a, w, h, x0 + i, y, q) and near(b, w, h, x0 + i, y, p)):
                differ += 1
    return (differ / float((x1 - x0) * (y1 - y0)), differ)


def ink(render, bounds, box):
    """Dark pixels (below half grey) inside box; None without a render."""
    if not render:
        return None
    w, h, a = render
    s = DPI / 72.0
    x0 = max(0, int((box[0] - bounds[0]) * s))
    y0 = max(0, int((box[1] - bounds[1]) * s))
    x1 = min(w, int((box[2] - bounds[0]) * s + 0.999))
    y1 = min(h, int((box[3] - bounds[1]) * s + 0.999))
    return sum(1 for y in range(y0, y1) for p in a[y * w + x0:y * w + x1] if p < 128)


def near(img, w, h, x, y, v):
    """Whether a pixel next to (x, y) of img is within PIXEL_DELTA of v: an edge
    moved by one pixel or drawn with other anti-aliasing is no change."""
    for yy in range(max(0, y - 1), min(h, y + 2)):
        for xx in range(max(0, x - 1), min(w, x + 2)):
            if abs(img[yy * w + xx] - v) <= PIXEL_DELTA:
                return True
    return False


def words_in(ws, box):
    return sorted(w[4] for w in ws
                  if box[0] <= (w[0] + w[2]) / 2 <= box[2] and box[1] <= (w[1] + w[3]) / 2 <= box[3])


def letters(ws):
    """The letters of a word list, compatibility-normalised and sorted: the
    same text laid out on other lines, or as Arabic presentation forms, is
    the same text."""
    return sorted(c for c in unicodedata.normalize("NFKC", "".join(ws)) if not c.isspace())


def compare_annot(a, bounds, before, after):
    """Differences of one annotation's box between two renders: a dict with
    mupdf/poppler shares, word lists when they differ, and changed."""
    d = {"page": a["page"], "index": a["index"], "kind": a["kind"], "ap": a["ap"],
         "changed": False, "score": 0.0}
    notes = []
    for r in ("mupdf", "poppler"):
        c = crop_diff(before[r], after[r], bounds, a["box"])
        if c is None:
            if before[r] is not None:
                notes.append("%s: no render after" % r)
                d["changed"] = True
                d["score"] = max(d["score"], 1.0)
            continue
        d[r] = round(c[0], 4)
        if c[0] > INK_SHARE and c[1] >= INK_MIN:
            d["changed"] = True
            notes.append("%s ink %.1f%%" % (r, 100 * c[0]))
        d["score"] = max(d["score"], c[0])
    # How much of the ink the producer drew is still there, by the renderer
    # that keeps least of it.
    kept = []
    for r in ("mupdf", "poppler"):
        b, f = ink(before[r], bounds, a["box"]), ink(after[r], bounds, a["box"])
        if b and f is not None:
            kept.append(f / float(b))
    if kept:
        d["ink_kept"] = round(min(kept), 4)
    wb, wa = words_in(before["words"], a["box"]), words_in(after["words"], a["box"])
    # A word is lost when its letters are not there after, however the
    # text is split into words or written (presentation forms, ligatures).
    lost = 0
    if collections.Counter(letters(wb)) - collections.Counter(letters(wa)):
        left = [unicodedata.normalize("NFKC", w) for w in wa]
        for w in wb:
            w = unicodedata.normalize("NFKC", w)
            if w in left:
                left.remove(w)
            else:
                lost += 1
        lost = max(lost, 1)
    d["words_lost"] = lost
    if letters(wb) != letters(wa):
        d["changed"] = True
        gone = [w for w in wb if w not in wa]
        new = [w for w in wa if w not in wb]
        notes.append("words -%s +%s" % (" ".join(gone)[:60], " ".join(new)[:60]))
        d["score"] = max(d["score"], 0.5 + 0.01 * (len(gone) + len(new)))
    d["diff"] = "; ".join(notes)
    return d


def qpdf_check(path):
    """qpdf --check's exit status and its first warning or error."""
    try:
        p = subprocess.run(["qpdf", "--check", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=CMD_TIMEOUT)
    except subprocess.TimeoutExpired:
        return "timeout", ""
    lines = [l for l in p.stdout.decode("utf-8", "replace").splitlines()
             if "WARNING" in l or "error" in l.lower()]
    return p.returncode, (lines[0] if lines else "")[:200]


def check_output(out, in_status):
    """A failure reason when qpdf finds a fault in the output that it did not
    find in the input, else empty."""
    st, msg = qpdf_check(out)
    if st == 0 or (st == 3 and in_status != 0):
        return ""
    return "qpdf --check exit %s on output: %s" % (st, msg)


def check_pdf(src, work, annot):
    results = []
    listed = list_annots(src)
    if listed is None:
        return [{"check": "all", "status": "skipped", "reason": "cannot list annotations"}]
    pages, annots = listed
    annots = [a for a in annots if a["kind"] not in SKIP_KINDS]
    if not annots:
        return [{"check": "all", "status": "skipped", "reason": "no annotations"}]
    kinds = sorted({a["kind"] for a in annots})
    shown = sorted({a["page"] for a in annots})[:MAX_PAGES]
    annots = [a for a in annots if a["page"] in shown]
    in_check = qpdf_check(src)[0]
    before = render(src, shown, work, "in")

    def outcome(check, status, reason="", diffs=None, kinds_=kinds):
        return {"check": check, "status": status, "reason": reason, "kinds": kinds_,
                "annots": diffs or []}

    def compare(out, check, pairing, only=None):
        listed_out = list_annots(out)
        if listed_out is None:
            return outcome(check, "failed", "output cannot be listed")
        after = render(out, shown, work, check)
        by_key = pairing(listed_out[1])
        diffs = []
        for a in annots:
            if only and a["kind"] not in only:
                continue
            d = compare_annot(a, pages[a["page"]], before[a["page"]], after[a["page"]])
            if by_key(a) is None:
                d["changed"] = True
                d["diff"] = ("annotation gone; " + d["diff"]).strip("; ")
                d["score"] = max(d["score"], 1.0)
            diffs.append(d)
        return outcome(check, "ok", "", diffs, sorted({a["kind"] for a in annots
                                                       if not only or a["kind"] in only}))

    def same_place(out_annots):
        at = {(b["page"], b["index"]): b for b in out_annots}
        return lambda a: at.get((a["page"], a["index"])) if \
            at.get((a["page"], a["index"]), {}).get("kind") == a["kind"] else None

    def by_name_or_order(out_annots):
        names = {(b["page"], b["name"]): b for b in out_annots if b["name"]}
        order = {}
        for b in out_annots:
            order.setdefault((b["page"], b["kind"]), []).append(b)
        seen = {}

        def find(a):
            if a["name"] and (a["page"], a["name"]) in names:
                return names[(a["page"], a["name"])]
            k = (a["page"], a["kind"])
            i = seen.get(k, 0)
            seen[k] = i + 1
            lst = order.get(k, [])
            return lst[i] if i < len(lst) else None
        return find

    for check, extra in (("regenerate", []), ("missing-only", ["--missing-only"])):
        out = os.path.join(work, check + ".pdf")
        st, err = run([annot, "regenerate", src, "-o", out] + extra)
        if st != 0:
            results.append(outcome(check, "failed", "exit %s: %s" % (st, err)))
            continue
        bad = check_output(out, in_check)
        if bad:
            results.append(outcome(check, "failed", bad))
            continue
        results.append(compare(out, check, same_place))

    # the kinds XFDF carries; links and form fields stay in the stripped file
    markup = {a["kind"] for a in annots if a["kind"] in XFDF_PDF_KINDS}
    if not markup:
        results.append(outcome("xfdf", "skipped", "no markup annotations", kinds_=[]))
        return results
    xf = os.path.join(work, "export.xfdf")
    st, err = run([annot, "xfdf", "export", src, "-o", xf, "--files"])
    if st != 0:
        results.append(outcome("xfdf", "failed", "export exit %s: %s" % (st, err), kinds_=sorted(markup)))
        return results
    stripped = os.path.join(work, "stripped.pdf")
    st, _ = run(["mutool", "run", LISTER, "strip", src, stripped])
    if st != 0:
        results.append(outcome("xfdf", "skipped", "cannot strip the annotations", kinds_=[]))
        return results
    out = os.path.join(work, "xfdf.pdf")
    st, err = run([annot, "xfdf", "import", stripped, xf, "-o", out, "--files"])
    if st != 0:
        results.append(outcome("xfdf", "failed", "import exit %s: %s" % (st, err), kinds_=sorted(markup)))
        return results
    bad = check_output(out, in_check)
    if bad:
        results.append(outcome("xfdf", "failed", bad, kinds_=sorted(markup)))
        return results
    results.append(compare(out, "xfdf", by_name_or_order, only=markup))
    return results


# XFDF files -----------------------------------------------------------------

def local(tag):
    return tag.rsplit("}", 1)[-1]


def xfdf_annots(path):
    root = ET.parse(path).getroot()
    out = []
    for annots in root.iter():
        if local(annots.tag) != "annots":
            continue
        for el in annots:
            if local(el.tag) in XFDF_KINDS:
                out.append(el)
    return root, out


NUMS = re.compile(r"^[-+\d.,;\s]+$")


def same_value(a, b):
    if a == b:
        return True
    if NUMS.match(a) and NUMS.match(b):
        try:
            x = [float(v) for v in re.split(r"[,;\s]+", a.strip()) if v]
            y = [float(v) for v in re.split(r"[,;\s]+", b.strip()) if v]
        except ValueError:
            return False
        return len(x) == len(y) and all(abs(p - q) <= 0.01 + 1e-4 * abs(p) for p, q in zip(x, y))
    return a.strip().lower() == b.strip().lower()


def text_of(el):
    return " ".join("".join(el.itertext()).split())


def compare_xfdf_annot(a, b):
    """What the second XFDF annotation lost or changed of the first."""
    lost = []
    for k, v in a.attrib.items():
        k = local(k)
        got = {local(x): y for x, y in b.attrib.items()}
        if k not in got:
            lost.append("-%s" % k)
        elif not same_value(v, got[k]):
            lost.append("%s %s->%s" % (k, v[:24], got[k][:24]))
    bchildren = {}
    for c in b:
        bchildren.setdefault(local(c.tag), []).append(c)
    for c in a:
        t = local(c.tag)
        if t not in bchildren:
            lost.append("-<%s>" % t)
        elif t == "contents-richtext":
            # rich text may be rewritten in other markup; its words must stay
            if text_of(c) != text_of(bchildren[t][0]):
                lost.append("<%s> words" % t)
        elif t == "appearance":
            pass  # a stamp's picture is serialised anew; the renders compare it
        elif t == "data":
            # the file may come back in another encoding; its bytes must not change
            x, y = data_bytes(c), data_bytes(bchildren[t][0])
            if x is None or x != y:
                lost.append("<data> bytes")
        elif not same_tree(c, bchildren[t][0]):
            lost.append("<%s> %s" % (t, " ".join((c.text or text_of(c)).split())[:40]))
    return lost


def data_bytes(el):
    """The bytes an XFDF <data> element holds, or None when it cannot be read."""
    text = "".join((el.text or "").split())
    enc = {local(k).lower(): v for k, v in el.attrib.items()}
    try:
        if enc.get("encoding", "").lower() == "base64":
            raw = base64.b64decode(text)
        else:
            raw = bytes.fromhex(text)
        if enc.get("filter", "") == "FlateDecode":
            raw = zlib.decompress(raw)
    except (ValueError, zlib.error):
        return None
    return raw


def same_tree(a, b):
    """Same text (numbers within rounding) and the same children, in order."""
    if not same_value(" ".join((a.text or "").split()), " ".join((b.text or "").split())):
        return False
    ca, cb = list(a), list(b)
    return len(ca) == len(cb) and all(local(x.tag) == local(y.tag) and same_tree(x, y)
                                      for x, y in zip(ca, cb))


def blank_pdf(path, n):
    """A PDF of n empty Letter pages, written by hand."""
    objs = ["<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join("%d 0 R" % (3 + i) for i in range(n)), n)]
    objs += ["<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>"] * n
    data, offs = b"%PDF-1.7\n", []
    for i, o in enumerate(objs):
        offs.append(len(data))
        data += ("%d 0 obj\n%s\nendobj\n" % (i + 1, o)).encode()
    x = len(data)
    data += ("xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)).encode()
    data += "".join("%010d 00000 n \n" % o for o in offs).encode()
    data += ("trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, x)).encode()
    with open(path, "wb") as fh:
        fh.write(data)


def page_count(pdf):
    try:
        p = subprocess.run(["qpdf", "--show-npages", pdf], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=CMD_TIMEOUT)
        return int(p.stdout.strip() or 0)
    except (subprocess.TimeoutExpired, ValueError):
        return 0


def base_for(xfdf, root, work, pages_needed):
    d = os.path.dirname(xfdf)
    for el in root.iter():
        if local(el.tag) == "f" and el.get("href"):
            cand = os.path.join(d, os.path.basename(el.get("href")))
            if os.path.isfile(cand) and page_count(cand) >= pages_needed:
                return cand
    stem = os.path.splitext(xfdf)[0]
    for ext in (".pdf", ".PDF"):
        if os.path.isfile(stem + ext) and page_count(stem + ext) >= pages_needed:
            return stem + ext
    path = os.path.join(work, "blank.pdf")
    blank_pdf(path, max(1, pages_needed))
    return path


def check_xfdf(src, work, annot):
    try:
        root, orig = xfdf_annots(src)
    except (ET.ParseError, OSError) as e:
        return [{"check": "xfdf-file", "status": "skipped", "reason": "not XML: %s" % e}]
    if not orig:
        return [{"check": "xfdf-file", "status": "skipped", "reason": "no annotations"}]
    kinds = sorted({KIND_NAMES[local(el.tag)] for el in orig})
    pages_needed = 1 + max(int(el.get("page", "0")) if el.get("page", "0").isdigit() else 0 for el in orig)
    base = base_for(src, root, work, pages_needed)
    res = {"check": "xfdf-file", "status": "ok", "reason": "", "kinds": kinds, "annots": []}
    first = os.path.join(work, "first.pdf")
    st, err = run([annot, "xfdf", "import", base, src, "-o", first, "--files"])
    if st != 0:
        res.update(status="failed", reason="import exit %s: %s" % (st, err))
        return [res]
    bad = check_output(first, qpdf_check(base)[0])
    if bad:
        res.update(status="failed", reason=bad)
        return [res]
    again = os.path.join(work, "again.xfdf")
    st, err = run([annot, "xfdf", "export", first, "-o", again, "--files"])
    if st != 0:
        res.update(status="failed", reason="export exit %s: %s" % (st, err))
        return [res]
    try:
        _, back = xfdf_annots(again)
    except ET.ParseError as e:
        res.update(status="failed", reason="export is not XML: %s" % e)
        return [res]
    second = os.path.join(work, "second.pdf")
    st, err = run([annot, "xfdf", "import", base, again, "-o", second, "--files"])
    if st != 0:
        res.update(status="failed", reason="re-import exit %s: %s" % (st, err))
        return [res]

    # Structure: each annotation of the file against its export.
    named = {el.get("name"): el for el in back if el.get("name")}
    order = {}
    for el in back:
        order.setdefault((el.get("page"), local(el.tag)), []).append(el)
    seen = {}
    for i, el in enumerate(orig):
        k = (el.get("page"), local(el.tag))
        match = named.get(el.get("name")) if el.get("name") else None
        if match is None:
            j = seen.get(k, 0)
            seen[k] = j + 1
            lst = [e for e in order.get(k, []) if not e.get("name") or e.get("name") not in
                   {o.get("name") for o in orig}]
            match = lst[j] if j < len(lst) else None
        page = int(el.get("page", "0")) + 1 if el.get("page", "0").isdigit() else 0
        d = {"page": page, "index": i, "kind": KIND_NAMES[local(el.tag)], "changed": False, "score": 0.0}
        if match is None:
            d.update(changed=True, score=1.0, diff="annotation lost")
        else:
            lost = compare_xfdf_annot(el, match)
            if lost:
                d.update(changed=True, score=0.2 + 0.05 * len(lost), diff=" ".join(lost)[:200])
        res["annots"].append(d)

    # Renders: the two imports, annotation by annotation.
    la, lb = list_annots(first), list_annots(second)
    if la and lb:
        shown = sorted({a["page"] for a in la[1]})[:MAX_PAGES]
        ra, rb = render(first, shown, work, "first"), render(second, shown, work, "second")
        per_page = {}
        for a in la[1]:
            if a["kind"] in SKIP_KINDS or a["page"] not in shown:
                continue
            c = compare_annot(a, la[0][a["page"]], ra[a["page"]], rb[a["page"]])
            if c["changed"]:
                per_page.setdefault(a["page"], []).append(c)
        for d in res["annots"]:
            for c in per_page.get(d["page"], []):
                if c["kind"] == d["kind"]:
                    d["changed"] = True
                    d["score"] = max(d["score"], c["score"])
                    d["diff"] = ("%s; render %s" % (d.get("diff", ""), c["diff"])).strip("; ")
                    per_page[d["page"]].remove(c)
                    break
    return [res]


def check_file(work_root, annot, src):
    key = hashlib.sha1(os.path.abspath(src).encode()).hexdigest()[:16]
    work = tempfile.mkdtemp(prefix="f-", dir=work_root)
    try:
        if src.lower().endswith(".xfdf"):
            results = check_xfdf(src, work, annot)
        else:
            results = check_pdf(src, work, annot)
    except Exception as e:  # a fault of this script, reported, never hidden
        results = [{"check": "all", "status": "skipped", "reason": "checker error: %r" % e}]
    finally:
        subprocess.run(["rm", "-rf", work])
    for r in results:
        r["file"] = src
    with open(os.path.join(work_root, key + ".json"), "w") as fh:
        json.dump(results, fh)


# Report -----------------------------------------------------------------------

def report(work_root, worst_n):
    rows = []
    for name in sorted(os.listdir(work_root)):
        if name.endswith(".json"):
            with open(os.path.join(work_root, name)) as fh:
                rows.extend(json.load(fh))
    files = {r["file"] for r in rows}
    skipped = {}
    for r in rows:
        if r["status"] == "skipped":
            skipped[r["reason"].split(":")[0]] = skipped.get(r["reason"].split(":")[0], 0) + 1
    print("%d files; skipped checks: %s" % (len(files), ", ".join("%s %d" % kv for kv in
                                                                     sorted(skipped.items())) or "none"))
    worst, failures = [], []
    for check in ("regenerate", "missing-only", "xfdf", "xfdf-file"):
        table = {}
        total = [0, 0, 0, 0]
        annots_changed = annots_total = had_ap = 0
        for r in rows:
            if r["check"] != check or r["status"] == "skipped":
                continue
            changed_kinds = {a["kind"] for a in r.get("annots", []) if a["changed"]}
            annots_total += len(r.get("annots", []))
            annots_changed += sum(1 for a in r.get("annots", []) if a["changed"])
            had_ap += sum(1 for a in r.get("annots", []) if a["changed"] and a.get("ap"))
            for k in r.get("kinds", []):
                t = table.setdefault(k, [0, 0, 0, 0])
                t[0] += 1
                if r["status"] == "failed":
                    t[3] += 1
                elif k in changed_kinds:
                    t[2] += 1
                else:
                    t[1] += 1
            total[0] += 1
            if r["status"] == "failed":
                total[3] += 1
                failures.append((check, r["file"], r["reason"]))
            elif changed_kinds:
                total[2] += 1
            else:
                total[1] += 1
            for a in r.get("annots", []):
                if a["changed"]:
                    diff = a.get("diff", "")
                    if check != "xfdf-file":
                        diff += "" if a.get("ap") else " (no normal appearance before)"
                    worst.append((a["score"], check, r["file"], a["page"], a["index"], a["kind"], diff))
        if not total[0]:
            continue
        print()
        if check == "xfdf-file":
            print("%s: %d of %d annotations changed" % (check, annots_changed, annots_total))
        else:
            print("%s: %d of %d annotations changed, %d of them had a normal appearance before"
                  % (check, annots_changed, annots_total, had_ap))
        print("  %-16s %6s %10s %8s %7s" % ("kind", "files", "unchanged", "changed", "failed"))
        for k in sorted(table, key=lambda k: (-table[k][0], k)):
            t = table[k]
            print("  %-16s %6d %10d %8d %7d" % (k, t[0], t[1], t[2], t[3]))
        print("  %-16s %6d %10d %8d %7d" % ("(files)", total[0], total[1], total[2], total[3]))
    # Free text its producer drew, regenerated: how much of its ink stays,
    # and whether any of its words went missing.
    drawn = [(r["file"], a) for r in rows if r["check"] == "regenerate" and r["status"] != "skipped"
             for a in r.get("annots", []) if a["kind"] == "FreeText" and a.get("ap")]
    if drawn:
        kept = [a["ink_kept"] for _, a in drawn if "ink_kept" in a]
        low = [(f, a) for f, a in drawn if a.get("ink_kept", 1.0) < 0.85]
        lost = [(f, a) for f, a in drawn if a.get("words_lost", 0) > 0]
        print()
        print("regenerated free text with the producer's appearance: %d annotations; ink kept: least %.0f%%, "
              "below 85%% in %d; words lost in %d" % (len(drawn), 100 * min(kept) if kept else 100, len(low), len(lost)))
        for f, a in (low + lost)[:10]:
            print("  %s p%s #%s: ink kept %.0f%%, %d words lost" % (f, a["page"], a["index"],
                                                                  100 * a.get("ink_kept", 1.0), a.get("words_lost", 0)))
    if failures:
        print()
        print("failures (check, file, reason):")
        for f in failures:
            print("  %-12s %s: %s" % f)
    if worst and worst_n:
        print()
        print("worst changes (check, file, page, annot index, kind, difference):")
        worst.sort(key=lambda w: -w[0])
        per_file = {}
        shown = 0
        for w in worst:
            # at most two lines per file, so one file does not fill the list
            n = per_file.get(w[2], 0)
            if n >= 2:
                continue
            per_file[w[2]] = n + 1
            print("  %-12s %s p%s #%s %s: %s" % (w[1], w[2], w[3], w[4], w[5], w[6]))
            shown += 1
            if shown >= worst_n:
                break


def main(argv):
    if len(argv) >= 5 and argv[1] == "file":
        check_file(argv[2], argv[3], argv[4])
        return 0
    if len(argv) >= 3 and argv[1] == "report":
        n = int(argv[4]) if len(argv) >= 5 and argv[3] == "--worst" else 25
        report(argv[2], n)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
