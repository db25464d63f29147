#!/usr/bin/env python3
"""Writes the inputs of the large-file memory benchmark (bench/big_memory.sh):

    make_big_inputs.py notes OUT.pdf [NOTES] [PAGES]
        a PDF of PAGES letter pages (default 2,000) holding NOTES notes
        (default 200,000) without appearances, about 100 bytes each
    make_big_inputs.py squares OUT.pdf OUT.xfdf [SQUARES] [PAGES] [OUT.spec]
        an empty PDF of PAGES pages (default 1,000) and an XFDF file that
        adds SQUARES squares (default 100,000) to it, spread over its pages;
        OUT.spec lists the same squares for the PyMuPDF peer
        (pymupdf_add_annots.py of the shared benchmark scripts)

The files are plain text PDF with a cross-reference table, written
directly, so that making them measures nothing of the command under test.
"""
import sys


def write_pdf(path, pages, annots_on_page):
    """annots_on_page(p) -> list of annotation dictionaries (text) of page p."""
    offsets = {}
    out = open(path, "wb")
    pos = 0

    def put(text):
        nonlocal pos
        data = text.encode("latin-1")
        out.write(data)
        pos += len(data)

    def obj(number, body):
        offsets[number] = pos
        put(f"{number} 0 obj\n{body}\nendobj\n")

    put("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n")
    # 1 catalog, 2 page tree, then each page followed by its annotations.
    number = 3
    kids = []
    for p in range(pages):
        annots = annots_on_page(p)
        page_number = number
        first = number + 1
        number = first + len(annots)
        kids.append(page_number)
        refs = " ".join(f"{first + i} 0 R" for i in range(len(annots)))
        obj(page_number, f"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [{refs}] >>")
        for i, annot in enumerate(annots):
            obj(first + i, annot)
    obj(1, "<< /Type /Catalog /Pages 2 0 R >>")
    obj(2, "<< /Type /Pages /Count %d /Kids [%s] >>" % (pages, " ".join(f"{k} 0 R" for k in kids)))
    xref = pos
    put(f"xref\n0 {number}\n0000000000 65535 f\r\n")
    for n in range(1, number):
        put("%010d 00000 n\r\n" % offsets[n])
    put(f"trailer\n<< /Size {number} /Root 1 0 R >>\nstartxref\n{xref}\n%%EOF\n")
    out.close()


def notes(path, count, pages):
    per_page = -(-count // pages)

    def on_page(p):
        made = []
        for i in range(min(per_page, count - p * per_page)):
            x, y = 20 + (i % 20) * 28, 20 + (i // 20) * 36
            made.append(f"<< /Type /Annot /Subtype /Text /Rect [{x} {y} {x + 20} {y + 20}] /Contents ({i}) >>")
        return made

    write_pdf(path, pages, on_page)


def square_geometry(n, pages):
    page, i = n % pages, n // pages
    x, y = 20 + (i % 10) * 58, 20 + (i // 10 % 14) * 54
    return page, x, y


def squares(pdf_path, xfdf_path, count, pages, spec_path=None):
    write_pdf(pdf_path, pages, lambda p: [])
    if spec_path:
        # TYPE PAGE W stroke fill RECT NNUM geometry; the rect is padded by
        # the border width as the peer expects.
        with open(spec_path, "w") as out:
            for n in range(count):
                page, x, y = square_geometry(n, pages)
                out.write(f"square {page} 1.5 0.1 0.3 0.8 1 1 0.6 {x} {y} {x + 50} {y + 46} "
                          f"4 {x + 1.5} {y + 1.5} {x + 48.5} {y + 44.5}\n")
    with open(xfdf_path, "w", encoding="utf-8") as out:
        out.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                  '<xfdf xmlns="http://ns.adobe.com/xfdf/" xml:space="preserve">\n<annots>\n')
        for n in range(count):
            page, x, y = square_geometry(n, pages)
            out.write(f'<square page="{page}" rect="{x},{y},{x + 50},{y + 46}" color="#1A4DCC" '
                      f'interior-color="#FFFF99" width="1.5" opacity="0.5" name="sq-{n}" '
                      f'title="bench"/>\n')
        out.write("</annots>\n</xfdf>\n")


def main(argv):
    if len(argv) >= 3 and argv[1] == "notes":
        notes(argv[2], int(argv[3]) if len(argv) > 3 else 200000, int(argv[4]) if len(argv) > 4 else 2000)
    elif len(argv) >= 4 and argv[1] == "squares":
        squares(argv[2], argv[3], int(argv[4]) if len(argv) > 4 else 100000, int(argv[5]) if len(argv) > 5 else 1000,
                argv[6] if len(argv) > 6 else None)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
