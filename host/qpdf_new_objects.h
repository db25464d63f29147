// New objects in a document qpdf 11.3 reads, without qpdf first reading
// every object of the file. Internal to host/.
#pragma once

class QPDF;

namespace kshost::pdf {

// qpdf 11.3 numbers a new object (makeIndirectObject, newStream) after the
// highest one it holds, and to be sure it holds them all, the first new
// object makes it parse every object of the file: a 25 MB file of 200,000
// annotations costs two gigabytes and seconds before the first new
// appearance stream exists. In its place the file's highest object is
// registered (not read), which is all the numbering needs, and qpdf is
// told the full read is done. Objects are still read when first used, and
// a reference to a missing object still reads as null. Call right after
// the file is opened, before any new object. False (and nothing done) on
// another qpdf version, where this is not needed or not known to work.
bool LetNewObjectsSkipTheFullRead(QPDF& qpdf);

}  // namespace kshost::pdf
