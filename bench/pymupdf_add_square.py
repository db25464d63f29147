"""The peer job in PyMuPDF: open, add one square annotation to the first
page, save as an incremental update of the same file (saveIncr)."""
import sys

import fitz

doc = fitz.open(sys.argv[1])
page = doc[0]
annot = page.add_rect_annot(fitz.Rect(150, 150, 250, 250))
annot.set_colors(stroke=(1, 0, 0))
annot.set_border(width=3)
annot.update()
doc.saveIncr()
