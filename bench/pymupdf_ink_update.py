"""PyMuPDF building the appearance of the first annotation of page 1
(update()), best of RUNS, in milliseconds. The file is opened afresh for
each run; only update() is timed.

    python3 pymupdf_ink_update.py IN.pdf RUNS
"""
import sys
import time

import fitz

sys.path.insert(0, __file__.rsplit("/", 1)[0])
from pymupdf_update import load_annot, load_page  # noqa: E402


def main():
    best = None
    for _ in range(int(sys.argv[2])):
        doc = fitz.open(sys.argv[1])
        page = load_page(doc, 0)
        xref = page.annot_xrefs()[0][0]
        annot = load_annot(page, xref)
        start = time.perf_counter()
        annot.update()
        took = (time.perf_counter() - start) * 1000
        best = took if best is None else min(best, took)
        doc.close()
    print(f"{best:f}")


if __name__ == "__main__":
    main()
