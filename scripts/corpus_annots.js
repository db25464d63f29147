// mutool run corpus_annots.js list FILE.pdf
// mutool run corpus_annots.js strip IN.pdf OUT.pdf
// list: lists every annotation as it sits in each page's /Annots, independently of
// the annot command: page (from 1), index in /Annots, subtype, name, flags,
// and its /Rect in rendered page space (points, origin at the top left of the
// page as MuPDF and poppler draw it, rotation applied).
// strip: writes IN.pdf without the annotations that XFDF carries and their
// popups (links, form fields, media stay), the page an XFDF import starts from.
var mode = scriptArgs[0];
var doc = new PDFDocument(scriptArgs[1]);
if (doc.needsPassword()) doc.authenticatePassword("");
var n = doc.countPages();
var XFDF_KINDS = ["Text", "FreeText", "Line", "Square", "Circle", "Polygon", "PolyLine",
  "Highlight", "Underline", "Squiggly", "StrikeOut", "Stamp", "Caret", "Ink",
  "FileAttachment", "Sound", "Redact", "Popup"];
if (mode === "strip") {
  for (var i = 0; i < n; i++) {
    var pobj = doc.findPage(i);
    var annots = pobj.get("Annots");
    if (!annots || !annots.isArray()) continue;
    var keep = doc.newArray();
    for (var k = 0; k < annots.length; k++) {
      var a = annots.get(k);
      if (!a || !a.isDictionary()) continue;  // a null or broken entry draws nothing
      var st = a.get("Subtype");
      var name = st && st.isName() ? st.asName() : "";
      if (XFDF_KINDS.indexOf(name) < 0) keep.push(a);
    }
    pobj.put("Annots", keep);
  }
  doc.save(scriptArgs[2], "garbage");
  quit();
}
function num(o) { var v = o ? o.valueOf() : 0; return typeof v === "number" && isFinite(v) ? v : 0; }
for (var i = 0; i < n; i++) {
  var page, pobj, annots;
  try {
    page = doc.loadPage(i);
    pobj = doc.findPage(i);
    annots = pobj.get("Annots");
  } catch (e) { continue; }
  if (!annots || !annots.isArray() || annots.length === 0) continue;
  var b = page.bound();
  var t = page.getTransform();
  print(["P", i + 1, b[0], b[1], b[2], b[3]].join("\t"));
  for (var k = 0; k < annots.length; k++) {
    var a = annots.get(k);
    if (!a || !a.isDictionary()) continue;
    var r = a.get("Rect");
    if (!r || !r.isArray() || r.length < 4) continue;
    var x0 = num(r.get(0)), y0 = num(r.get(1)), x1 = num(r.get(2)), y1 = num(r.get(3));
    var xs = [], ys = [], pts = [[x0, y0], [x0, y1], [x1, y0], [x1, y1]];
    for (var j = 0; j < 4; j++) {
      var p = pts[j];
      xs.push(p[0] * t[0] + p[1] * t[2] + t[4]);
      ys.push(p[0] * t[1] + p[1] * t[3] + t[5]);
    }
    var st = a.get("Subtype"), nm = a.get("NM"), f = a.get("F");
    var hasAP = a.get("AP") && a.get("AP").isDictionary() && a.get("AP").get("N") ? 1 : 0;
    print(["A", i + 1, k, st ? st.asName() : "?", nm && nm.isString() ? encodeURIComponent(nm.asString()) : "",
           num(f), hasAP, Math.min.apply(null, xs), Math.min.apply(null, ys),
           Math.max.apply(null, xs), Math.max.apply(null, ys)].join("\t"));
  }
}
