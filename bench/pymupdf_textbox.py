# PyMuPDF's insert_textbox on the same text box: the text in Helvetica 10,
# justified into a box 400 wide, on a new page of a new document. Prints the
# median milliseconds of RUNS runs.
import statistics
import sys
import time

import fitz

text = open(sys.argv[1], encoding="utf-8").read()
runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
times = []
for _ in range(runs):
    doc = fitz.open()
    page = doc.new_page(width=420, height=100000)
    start = time.perf_counter()
    rest = page.insert_textbox(fitz.Rect(10, 10, 410, 99990), text, fontsize=10, fontname="helv", align=fitz.TEXT_ALIGN_JUSTIFY)
    times.append((time.perf_counter() - start) * 1000)
    if rest < 0:
        sys.exit("the text did not fit the box")
print(f"{statistics.median(times):.4f}")
