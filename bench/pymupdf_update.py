"""The peer job in PyMuPDF: open, update() every annotation, save.

Debian's python3-fitz 1.21.1 loses its SWIG proxy classes after a few
update() calls: the binding then hands back bare SWIG pointers and its own
load_page() and page.annots() fail. Pages and annotations are therefore
loaded through the binding directly and wrapped in their proxy classes
when needed; the work per annotation is PyMuPDF's own update().
"""
import sys
import weakref

import fitz
from fitz import _fitz


def wrap(val, cls):
    if val is not None and not isinstance(val, cls):
        proxy = cls.__new__(cls)
        proxy.this = val
        val = proxy
    return val


def load_page(doc, number):
    page = wrap(_fitz.Document_load_page(doc, number), fitz.Page)
    page.thisown = True
    page.parent = weakref.proxy(doc)
    doc._page_refs[id(page)] = page
    page._annot_refs = weakref.WeakValueDictionary()
    page.number = number
    return page


def load_annot(page, xref):
    annot = wrap(_fitz.Page__load_annot(page, None, xref), fitz.Annot)
    if not annot:
        return None
    annot.thisown = True
    annot.parent = weakref.proxy(page)
    page._annot_refs[id(annot)] = annot
    return annot


def main():
    doc = fitz.open(sys.argv[1])
    for number in range(doc.page_count):
        page = load_page(doc, number)
        for xref, _, _ in page.annot_xrefs():
            annot = load_annot(page, xref)
            if annot is not None:
                annot.update()
    doc.save(sys.argv[2])


if __name__ == "__main__":
    main()
