#!/usr/bin/env python3
"""Checks the translation tables under lang/.

Every lang/<code>/<Table>_strings_<code>.xml.kw must be well-formed UTF-8
XML with root <strings> and <string id="..."> entries, without duplicate ids.
On top of that:

  * the four unit lists of the "Annotation" table (real-world length, paper
    length, area, volume) split on the two characters backslash and n into
    exactly 12, 5, 11 and 8 non-empty, distinct names in every language; the
    English names are the unit keys themselves, and a translated name never
    equals the key of another unit of the same list (it would be read back as
    that unit);
  * every key of another language exists in the en-US file of the same table,
    and keeps the same printf placeholders (%ls, %d, ...) as the English text;
  * every id occurs once as the literal text id="KEY" in its file, and every
    entry is plain text, because the plug-in also finds unit lists by scanning
    the raw file text;
  * every key the plug-in's code asks for has a non-empty en-US text: keys
    given to Translate("KEY") and TrString("Table", "KEY") (the "Annotation"
    table unless named), and every complete "IDS_..." string literal, in the
    non-test sources of plugin/, measure/, drawing/, toolset/,
    kwannotation/, comment/ and serve/ beside LANG_DIR. Comments are not
    looked at;
  * no English text is written into the code of the plug-in or the host
    (the folders above and host/): a UTF-16 literal (u"..." or L"...")
    holding two words is a text for people unless it is a unit or one of
    the few preference keys and style values listed in NOT_SHOWN, and no
    literal with letters is handed to what shows text (undo captions,
    window titles, tooltips, message boxes, menu and list items, the slope
    words, a toolset title) or given as a default to a translation lookup;
  * every dialog layout in ui/ beside LANG_DIR names its string table and
    shows only translation keys of it with English text (titles, texts,
    tooltips, column titles, list items; numbers and signs may stay as
    written, icon names are not shown), and every field (edit, combo box,
    list) is named by a translated label right before it or by a
    translated tooltip, every button and check box by a translated text.

Usage: check_lang.py [LANG_DIR]     (default: lang/ next to this script's folder)
       check_lang.py --self-test    (proves that each check catches its fault)
Prints "N passed, M failed" and exits non-zero when anything failed.
"""

import os
import re
import sys
import tempfile
import xml.etree.ElementTree as ET

ENGLISH = "en-US"
FILE_RE = re.compile(r"^(?P<table>[A-Za-z0-9]+)_strings_(?P<code>[A-Za-z]{2,3}(?:-[A-Za-z0-9]+)*)\.xml\.kw$")
SEPARATOR = "\\n"  # backslash + n, two characters

UNIT_LISTS = {
    "IDS_STRINGUNITI": ["in", "ft", "ft'in\"", "in\"", "yd", "mi", "mm", "cm", "m", "km", "pt", "p"],
    "IDS_STRINGUNITII": ["pt", "in", "mm", "cm", "p"],
    "IDS_MA_AREA_UNIT": ["sq in", "sq ft", "sq yd", "sq mi", "sq mm", "sq cm", "sq m", "sq km", "acre", "ha", "tsubo"],
    "IDS_MA_VOLUME_UNIT": ["cu in", "cu ft", "cu yd", "cu mi", "cu mm", "cu cm", "cu m", "cu km"],
}

# Folders of code whose translation keys must have English text: the
# plug-in's, and the editor's comment tools and browser server.
CODE_FOLDERS = ("plugin", "measure", "drawing", "toolset", "kwannotation", "comment", "serve")
CODE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc")
LITERAL = r'(?:u8|u|U|L)?"((?:[^"\\\n]|\\.)*)"'
# Translate("KEY") with one argument: the plug-in's own table.
TRANSLATE_ONE_RE = re.compile(r'\bTranslate\s*\(\s*' + LITERAL + r'\s*\)')
# Translate("Table", "KEY", ...) and TrString("Table", "KEY", ...), also as
# TrString name("Table", "KEY") or with braces.
TABLE_KEY_RE = re.compile(r'\b(?:Translate|TrString(?:\s+[A-Za-z_]\w*)?)\s*[({]\s*' + LITERAL + r'\s*,\s*' + LITERAL)
# A whole string literal that is a key; prefixes ending in "_" are not keys.
KEY_LITERAL_RE = re.compile(r'(?:u8|u|U|L)?"(IDS_[A-Za-z0-9_]*[A-Za-z0-9])"')

# The plug-in's folders and the host's: no English text in their code.
TEXT_FOLDERS = CODE_FOLDERS + ("host",)
# UTF-16 texts with two words that are not for people: unit keys (shown
# through the translated unit lists), preference keys, CSS values.
UNIT_PHRASE_RE = re.compile(r"^(?:sq|cu) [a-z]+$")
NOT_SHOWN = {
    "Show Dialog": "a preference key of section Measurement",
    "Show Ruler": "a preference key of section Measurement",
    "double word": "a CSS text-decoration value of rich text",
    "line-through underline": "a CSS text-decoration value of rich text",
}
PHRASE_RE = re.compile(r"[A-Za-z]{2,}[ ]+[A-Za-z]{2,}")
WORD_RE = re.compile(r"[A-Za-z]{2,}")
KEY_RE = re.compile(r"^IDS_[A-Z0-9_]+$")
# Calls whose literal arguments are shown as they are, and assignments of a
# toolset title; their text must come from a translation.
SINK_RE = re.compile(r"\b(?:SetCaption|UndoBeginGroup|BeginUndoGroup|AddUndo|EditAlone|SetWindowTitle|SetToolTip|MessageBox|"
                     r"MenuAddItem|AddItem|AddColumn|AppShowMessageTip|ShowMessageTip|SlopeDisplayText)\s*\(|"
                     r"\btitle\s*=(?!=)")
# A translation lookup with a default text: the default would be shown.
DEFAULT_RE = re.compile(r"\b(?:TrString(?:\s+[A-Za-z_]\w*)?\s*[({]|Translate\s*\()\s*" + LITERAL + r"\s*,\s*" + LITERAL +
                        r"\s*,\s*" + LITERAL)
# Layout tags that are fields, and those named by their own text.
FIELD_TAGS = ("edit", "combobox", "listbox")
TEXT_TAGS = ("button", "checkbox", "hyperlink")

# A printf conversion: %%, or % flags width precision length conversion.
PLACEHOLDER_RE = re.compile(r"%(?:%|[-+ #0]*(?:\d+|\*)?(?:\.(?:\d+|\*))?(?:hh|h|ll|l|L|z|j|t)?[diouxXeEfFgGaAcspn])")


class Results:
    def __init__(self):
        self.passed = 0
        self.failures = []

    def check(self, ok, name, problems=()):
        """One test case: `ok` true passes; otherwise `problems` explain it."""
        if ok:
            self.passed += 1
        else:
            self.failures.append((name, list(problems) or ["failed"]))


def placeholders(text):
    return sorted(p for p in PLACEHOLDER_RE.findall(text) if p != "%%")


def load_file(path, name, results):
    """Parses one table file; returns {id: text} or None when it is unusable."""
    problems = []
    try:
        with open(path, "rb") as f:
            raw = f.read()
        text = raw.decode("utf-8-sig")
    except (OSError, UnicodeDecodeError) as e:
        results.check(False, "parse " + name, [str(e)])
        return None
    if not text.lstrip().startswith("<?xml"):
        problems.append("no XML declaration")
    try:
        root = ET.fromstring(raw)
    except ET.ParseError as e:
        results.check(False, "parse " + name, ["malformed XML: %s" % e])
        return None
    if root.tag != "strings":
        problems.append("root element is <%s>, not <strings>" % root.tag)
    entries = {}
    for element in root:
        if element.tag != "string":
            problems.append("unexpected element <%s>" % element.tag)
            continue
        key = element.get("id", "")
        if not key:
            problems.append("<string> without id")
            continue
        if key in entries:
            problems.append("duplicate id %s" % key)
            continue
        if len(element):
            problems.append("%s contains markup, not plain text" % key)
        entries[key] = element.text or ""
    for key in entries:
        count = text.count('id="%s"' % key)
        if count != 1:
            problems.append('id="%s" occurs %d times in the raw text' % (key, count))
    results.check(not problems, "parse " + name, problems)
    return entries if root.tag == "strings" else None


def check_unit_lists(code, entries, results):
    for key, units in UNIT_LISTS.items():
        name = "unit list %s %s" % (code, key)
        if key not in entries:
            results.check(False, name, ["missing"])
            continue
        text = entries[key]
        problems = []
        if "\n" in text or "\r" in text:
            problems.append("contains a real line break; names are separated by a literal backslash-n")
        pieces = [p.strip() for p in text.split(SEPARATOR)]
        if len(pieces) != len(units):
            problems.append("%d names, expected %d" % (len(pieces), len(units)))
        if any(not p for p in pieces):
            problems.append("empty name")
        folded = [p.casefold() for p in pieces]
        if len(set(folded)) != len(folded):
            problems.append("names are not distinct: %s" % pieces)
        if code == ENGLISH:
            if pieces != units:
                problems.append("English names must be the unit keys %s, got %s" % (units, pieces))
        elif len(pieces) == len(units):
            for i, piece in enumerate(pieces):
                for j, unit in enumerate(units):
                    if i != j and piece == unit:
                        problems.append("name %r of unit %r is the key of unit %r" % (piece, units[i], unit))
        results.check(not problems, name, problems)


def strip_comments(text):
    """C++ text with comments blanked out (line breaks kept), literals intact."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(text[i:j + 1])
            i = j + 1
        elif text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        else:
            out.append(c)
            i += 1
    return "".join(out)


def code_keys(source_root):
    """[(table or None, key, "file:line")] used by the plug-in's code. A None
    table means any table may hold the key (a bare literal)."""
    found = []
    for folder in CODE_FOLDERS:
        top = os.path.join(source_root, folder)
        for dirpath, dirnames, filenames in os.walk(top):
            dirnames.sort()
            for file_name in sorted(filenames):
                if not file_name.endswith(CODE_SUFFIXES) or "_test." in file_name:
                    continue
                path = os.path.join(dirpath, file_name)
                try:
                    with open(path, encoding="utf-8", errors="replace") as f:
                        text = strip_comments(f.read())
                except OSError:
                    continue
                where = lambda m: "%s:%d" % (os.path.relpath(path, source_root), text.count("\n", 0, m.start()) + 1)
                for m in TRANSLATE_ONE_RE.finditer(text):
                    found.append(("Annotation", m.group(1), where(m)))
                for m in TABLE_KEY_RE.finditer(text):
                    found.append((m.group(1), m.group(2), where(m)))
                for m in KEY_LITERAL_RE.finditer(text):
                    found.append((None, m.group(1), where(m)))
    return found


def check_code_keys(source_root, tables, results):
    english = {table: entries for (table, code), entries in tables.items() if code == ENGLISH}
    problems = []
    for table, key, where in code_keys(source_root):
        candidates = [english.get(table, {})] if table else list(english.values())
        if not any((entries.get(key) or "").strip() for entries in candidates):
            problems.append("%s: %s%s has no English text" % (where, "%s/" % table if table else "", key))
    results.check(not problems, "keys used in code have English text", sorted(set(problems)))


def string_literals(text):
    """[(prefix, body, offset)] of the string literals of comment-free C++
    text, read from the start so that a closing quote never opens one."""
    found = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c == "'":
            j = i + 1
            while j < n and text[j] != "'" and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
        elif c == '"':
            k = i
            while k > 0 and (text[k - 1].isalnum() or text[k - 1] == "_"):
                k -= 1
            prefix = text[k:i]
            j = i + 1
            while j < n and text[j] != '"' and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            found.append((prefix, text[i + 1:j], i))
            i = j + 1
        else:
            i += 1
    return found


def statement_end(text, start):
    """Where the statement or initializer that begins at `start` ends."""
    depth = 0
    for i in range(start, len(text)):
        c = text[i]
        if c in "({[":
            depth += 1
        elif c in ")}]":
            depth -= 1
            if depth < 0:
                return i
        elif c == ";" or (c == "," and depth == 0 and text[start:i].count("=") and "(" not in text[start:i]):
            return i
    return len(text)


def check_code_texts(source_root, results):
    problems = []
    for folder in TEXT_FOLDERS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(source_root, folder)):
            dirnames.sort()
            for file_name in sorted(filenames):
                if not file_name.endswith(CODE_SUFFIXES) or "_test" in file_name or file_name.startswith("test_"):
                    continue
                path = os.path.join(dirpath, file_name)
                try:
                    with open(path, encoding="utf-8", errors="replace") as f:
                        text = strip_comments(f.read())
                except OSError:
                    continue
                where = lambda at: "%s:%d" % (os.path.relpath(path, source_root), text.count("\n", 0, at) + 1)
                literals = string_literals(text)
                for prefix, body, at in literals:
                    if prefix not in ("u", "L") or not PHRASE_RE.search(body):
                        continue
                    if UNIT_PHRASE_RE.match(body) or body in NOT_SHOWN:
                        continue
                    problems.append('%s: English text %s"%s" belongs in the translation files' % (where(at), prefix, body))
                for m in SINK_RE.finditer(text):
                    end = statement_end(text, m.end())
                    # A title is wide text; narrow literals there name XML elements.
                    wide_only = "title" in m.group(0)
                    for prefix, body, at in literals:
                        if wide_only and prefix not in ("u", "L"):
                            continue
                        if m.end() <= at < end and WORD_RE.search(body) and not KEY_RE.match(body):
                            problems.append('%s: %s"%s" is shown as written; give it a translation key' %
                                            (where(at), prefix, body))
                for m in DEFAULT_RE.finditer(text):
                    if WORD_RE.search(m.group(3)):
                        problems.append('%s: the default "%s" of %s would be shown untranslated' %
                                        (where(m.start()), m.group(3), m.group(2)))
    results.check(not problems, "no English text in the plug-in's and the host's code", sorted(set(problems)))


def check_layouts(ui_dir, tables, results):
    """Every layout shows translated texts only, and names its fields."""
    english = {table: entries for (table, code), entries in tables.items() if code == ENGLISH}
    for file_name in sorted(os.listdir(ui_dir)) if os.path.isdir(ui_dir) else []:
        if not file_name.endswith(".ui.kw"):
            continue
        problems = []
        try:
            root = ET.parse(os.path.join(ui_dir, file_name)).getroot()
        except (ET.ParseError, OSError) as e:
            results.check(False, "layout " + file_name, [str(e)])
            continue
        table = root.get("table", "")
        entries = english.get(table, {})

        def translated(text):
            return bool(KEY_RE.match(text or "")) and bool((entries.get(text) or "").strip())

        def shown(owner, what, text):
            if text and any(ch.isalpha() for ch in text) and not translated(text):
                problems.append('%s %s "%s" is not a translation key of table "%s" with English text' %
                                (owner, what, text, table))

        if not table:
            problems.append("<dialog> names no string table (table=\"Annotation\")")
        shown("<dialog>", "title", root.get("title"))

        def walk(parent):
            before = None
            for node in parent:
                name = node.get("name", "<%s>" % node.tag)
                if not name.endswith("_icon"):
                    shown(name, "text", node.get("text"))
                    shown(name, "tooltip", node.get("tooltip"))
                    for column in node.iter("column"):
                        shown(name, "column", column.get("title"))
                    for item in node.iter("item"):
                        shown(name, "item", item.text)
                if node.tag in FIELD_TAGS:
                    by_label = before is not None and before.tag == "label" and translated(before.get("text"))
                    if not by_label and not translated(node.get("tooltip")):
                        problems.append("%s has no translated label before it and no translated tooltip" % name)
                elif node.tag in TEXT_TAGS:
                    if not translated(node.get("text")) and not translated(node.get("tooltip")):
                        problems.append("%s has no translated text" % name)
                if node.tag not in ("item", "column", "row", "cell"):
                    walk(node)
                before = node

        walk(root)
        results.check(not problems, "layout " + file_name, problems)


def check_tree(lang_dir, source_root=None):
    results = Results()
    tables = {}  # (table, code) -> entries
    codes = sorted(d for d in os.listdir(lang_dir) if os.path.isdir(os.path.join(lang_dir, d)))
    for code in codes:
        folder = os.path.join(lang_dir, code)
        for file_name in sorted(os.listdir(folder)):
            if not file_name.endswith(".xml.kw"):
                continue
            match = FILE_RE.match(file_name)
            ok = bool(match) and match.group("code") == code
            results.check(ok, "file name %s/%s" % (code, file_name),
                          ["expected <Table>_strings_%s.xml.kw" % code])
            entries = load_file(os.path.join(folder, file_name), "%s/%s" % (code, file_name), results)
            if match and entries is not None:
                tables[(match.group("table"), code)] = entries

    results.check((("Annotation", ENGLISH) in tables), "English Annotation table present", ["missing"])
    for (table, code), entries in sorted(tables.items()):
        if table == "Annotation":
            check_unit_lists(code, entries, results)
        if code == ENGLISH:
            continue
        english = tables.get((table, ENGLISH))
        if english is None:
            results.check(False, "keys %s %s" % (table, code), ["no en-US file for this table"])
            continue
        missing = sorted(k for k in entries if k not in english)
        results.check(not missing, "keys %s %s exist in en-US" % (table, code),
                      ["not in en-US: " + ", ".join(missing)])
        mismatched = ["%s: %s vs en-US %s" % (k, placeholders(v), placeholders(english[k]))
                      for k, v in sorted(entries.items())
                      if k in english and placeholders(v) != placeholders(english[k])]
        results.check(not mismatched, "placeholders %s %s" % (table, code), mismatched)
    if source_root is not None:
        check_code_keys(source_root, tables, results)
        check_code_texts(source_root, results)
        check_layouts(os.path.join(source_root, "ui"), tables, results)
    return results


def report(results, out=sys.stdout):
    for name, problems in results.failures:
        print("FAIL %s" % name, file=out)
        for problem in problems:
            print("     %s" % problem, file=out)
    print("%d passed, %d failed" % (results.passed, len(results.failures)), file=out)


# --- self-test ---------------------------------------------------------------

GOOD_EN = {
    "IDS_STRINGUNITI": "in\\nft\\nft&apos;in&quot;\\nin\"\\nyd\\nmi\\nmm\\ncm\\nm\\nkm\\npt\\np",
    "IDS_STRINGUNITII": "pt\\nin\\nmm\\ncm\\np",
    "IDS_MA_AREA_UNIT": "sq in\\nsq ft\\nsq yd\\nsq mi\\nsq mm\\nsq cm\\nsq m\\nsq km\\nacre\\nha\\ntsubo",
    "IDS_MA_VOLUME_UNIT": "cu in\\ncu ft\\ncu yd\\ncu mi\\ncu mm\\ncu cm\\ncu m\\ncu km",
    "IDS_MSG": "File &quot;%ls&quot; &amp; more",
}
GOOD_DE = dict(GOOD_EN, IDS_STRINGUNITII="Punkt\\nZoll\\nmm\\ncm\\nPica", IDS_MSG="Datei „%ls“")


def _xml(entries, declaration=True):
    body = "".join('  <string id="%s">%s</string>\n' % kv for kv in entries.items())
    head = '<?xml version="1.0" encoding="UTF-8"?>\n' if declaration else ""
    return head + "<strings>\n" + body + "</strings>\n"


def _run_case(files):
    """Translation files go under lang/, files of the code folders beside it."""
    with tempfile.TemporaryDirectory() as tmp:
        for rel, content in files.items():
            under_lang = rel.split("/")[0] not in TEXT_FOLDERS + ("ui",)
            path = os.path.join(tmp, "lang", rel) if under_lang else os.path.join(tmp, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(content)
        return check_tree(os.path.join(tmp, "lang"), tmp)


# Code that uses keys every way the checker knows, all of them present in
# GOOD_EN or GOOD_PAGES; keys in comments and tests do not count.
GOOD_CODE = {
    "plugin/frame.cpp": (
        '#include "x.h"\n'
        'auto a = Widgets::Translate("IDS_MSG");\n'
        'auto b = Tessel::TrString("Annotation",\n    "IDS_STRINGUNITII", u"").ToString();\n'
        'Tessel::TrString title{"PageOrganizer", "IDS_PAGES"};\n'
        'const char* kUnits[] = {"IDS_MA_AREA_UNIT", "IDS_MA_VOLUME_UNIT"};\n'
        'std::string prefix = "IDS_MA_";  // only a prefix\n'
        '// Translate("IDS_IN_A_COMMENT") and "IDS_ALSO_IN_A_COMMENT"\n'
        '/* TrString("Annotation", "IDS_IN_A_BLOCK") */\n'
        'const char* url = "http://example/IDS_NOT_A_KEY"; // "IDS_AFTER_A_URL"\n'),
    "measure/tool_test.cpp": 'auto t = Translate("IDS_ONLY_IN_A_TEST");\n',
    # Texts for people come from keys; units, listed keys and tests may
    # hold words.
    "toolset/place.cpp": (
        'undo->SetCaption(Widgets::Translate("IDS_MSG"));\n'
        'host::UndoBeginGroup(doc, Translate("IDS_MSG").c_str());\n'
        'const char16_t* units[] = {u"sq ft", u"cu m"};\n'
        'Host::PrefGetInt(u"Measurement", u"Show Dialog", 1);\n'
        'ReadChild(item, "Title"); set->title = FavoritesTitle();\n'
        'label->SetText(u"-"); std::string why = "cannot read the file";\n'
        'auto where = "u\\"a phrase\\" in a narrow string";\n'),
    "host/editor_test.cpp": 'AddUndo(doc, u"Move Here", r);\n',
    "ui/good.ui.kw": (
        '<dialog name="Good" title="IDS_MSG" table="Annotation">\n'
        '  <label name="label_tool_icon" text="Area Tool _distance_48"/>\n'
        '  <label name="labelTitle" text="IDS_MSG"/>\n  <edit name="lineEditTitle" text="1"/>\n'
        '  <label name="labelEqual" text="="/>\n'
        '  <group name="g"><combobox name="comboBoxUnit" tooltip="IDS_MSG"><item>IDS_MSG</item><item>1:50</item>'
        '</combobox></group>\n'
        '  <checkbox name="checkBoxAll" text="IDS_MSG"/>\n  <button name="pushButtonGo" text="IDS_MSG"/>\n'
        '  <listbox name="tableRows" tooltip="IDS_MSG"><column title="IDS_MSG"/></listbox>\n'
        '  <buttonbox name="buttonBox" buttons="ok,cancel"/>\n</dialog>\n'),
}
GOOD_PAGES = {"IDS_PAGES": "Pages"}


def self_test():
    en = "en-US/Annotation_strings_en-US.xml.kw"
    de = "de-DE/Annotation_strings_de-DE.xml.kw"
    pages = "en-US/PageOrganizer_strings_en-US.xml.kw"
    good = dict(GOOD_CODE)
    good.update({en: _xml(GOOD_EN), de: _xml(GOOD_DE), pages: _xml(GOOD_PAGES)})

    def plus(extra):
        case = dict(good)
        case.update(extra)
        return case

    # fault -> (files, text expected in the name of a failing check)
    bad_cases = {
        "malformed XML": (plus({de: _xml(GOOD_DE).replace("</strings>", "")}), "parse de-DE"),
        "unescaped ampersand": (plus({en: _xml(dict(GOOD_EN, IDS_X="R&D"))}), "parse en-US"),
        "duplicate id": (plus({en: _xml(GOOD_EN).replace("<strings>", '<strings><string id="IDS_MSG">x</string>')}),
                         "parse en-US"),
        "missing declaration": (plus({en: _xml(GOOD_EN, declaration=False)}), "parse en-US"),
        "wrong root": (plus({en: _xml(GOOD_EN).replace("strings>", "texts>")}), "parse en-US"),
        "markup inside an entry": (plus({en: _xml(dict(GOOD_EN, IDS_X="a<b>c</b>"))}), "parse en-US"),
        "id text repeated in the raw file": (
            plus({en: _xml(GOOD_EN).replace("</strings>", '<!-- id="IDS_MSG" --></strings>')}), "parse en-US"),
        "unit list too short": (plus({de: _xml(dict(GOOD_DE, IDS_MA_VOLUME_UNIT="a\\nb"))}),
                                "unit list de-DE IDS_MA_VOLUME_UNIT"),
        "unit list with a real line feed": (plus({de: _xml(dict(GOOD_DE, IDS_STRINGUNITII="Punkt\nZoll\nmm\ncm\nPica"))}),
                                            "unit list de-DE IDS_STRINGUNITII"),
        "empty unit name": (plus({de: _xml(dict(GOOD_DE, IDS_STRINGUNITII="Punkt\\n \\nmm\\ncm\\nPica"))}),
                            "unit list de-DE IDS_STRINGUNITII"),
        "repeated unit name": (plus({de: _xml(dict(GOOD_DE, IDS_STRINGUNITII="Zoll\\nzoll\\nmm\\ncm\\nPica"))}),
                               "unit list de-DE IDS_STRINGUNITII"),
        "translated name is another unit's key": (
            plus({de: _xml(dict(GOOD_DE, IDS_STRINGUNITII="Punkt\\nZoll\\nmm\\ncm\\nin"))}),
            "unit list de-DE IDS_STRINGUNITII"),
        "English unit list out of order": (plus({en: _xml(dict(GOOD_EN, IDS_STRINGUNITII="in\\npt\\nmm\\ncm\\np"))}),
                                           "unit list en-US IDS_STRINGUNITII"),
        "unit list missing": (plus({de: _xml({k: v for k, v in GOOD_DE.items() if k != "IDS_MA_AREA_UNIT"})}),
                              "unit list de-DE IDS_MA_AREA_UNIT"),
        "key not in English": (plus({de: _xml(dict(GOOD_DE, IDS_ONLY_GERMAN="nur"))}), "keys Annotation de-DE"),
        "table without English file": (plus({"de-DE/PageOrganizer_strings_de-DE.xml.kw": _xml({"IDS_A": "a"})}),
                                       "keys PageOrganizer de-DE"),
        "placeholder lost": (plus({de: _xml(dict(GOOD_DE, IDS_MSG="Datei"))}), "placeholders Annotation de-DE"),
        "placeholder changed": (plus({de: _xml(dict(GOOD_DE, IDS_MSG="Datei %s"))}), "placeholders Annotation de-DE"),
        "file in the wrong language folder": (plus({"de-DE/Annotation_strings_fr-FR.xml.kw": _xml(GOOD_DE)}),
                                              "file name de-DE"),
        "no English Annotation table": ({de: _xml(GOOD_DE)}, "English Annotation table"),
        "Translate of a key without English text": (
            plus({"drawing/undo.cpp": 'caption = Translate("IDS_NO_SUCH_KEY");\n'}), "keys used in code"),
        "TrString of a key without English text": (
            plus({"toolset/panel.h": 'Tessel::TrString t("Annotation", "IDS_NO_SUCH_KEY");\n'}), "keys used in code"),
        "key of the wrong table": (
            plus({"toolset/panel.cpp": 'TrString("PageOrganizer", "IDS_MSG").ToString();\n'}), "keys used in code"),
        "key literal without English text": (
            plus({"measure/tools.cpp": 'const char* keys[] = {"IDS_MSG", "IDS_NO_SUCH_KEY"};\n'}),
            "keys used in code"),
        "key with empty English text": (
            plus({en: _xml(dict(GOOD_EN, IDS_EMPTY="")), "plugin/app.cpp": 'Translate("IDS_EMPTY");\n'}),
            "keys used in code"),
        "key in a nested folder": (
            plus({"measure/osnap/snap.cpp": 'Translate("IDS_NO_SUCH_KEY");\n'}), "keys used in code"),
        "an English phrase in the plug-in": (
            plus({"toolset/list.cpp": 'set->name = u"My Tools";\n'}), "no English text"),
        "an English phrase in the host": (
            plus({"host/edit.cpp": 'const char16_t* kCaption = u"Move point";\n'}), "no English text"),
        "an English word as an undo caption": (
            plus({"toolset/tool.cpp": 'host::UndoBeginGroup(doc,\n    u"Place");\n'}), "no English text"),
        "English words for the slope": (
            plus({"kwannotation/caption.cpp": 'SlopeDisplayText(s, t, r, u"grade", u"pitch");\n'}),
            "no English text"),
        "an English toolset title": (plus({"toolset/load.cpp": 'set->title = u"Favourites";\n'}), "no English text"),
        "an English default of a lookup": (
            plus({"host/words.cpp": 'tr.Translate("Editor", "IDS_X", u"Delete");\n'}), "no English text"),
        "a layout without a table": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace(' table="Annotation"', "")}), "layout good"),
        "an English text in a layout": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace('text="IDS_MSG"/>\n  <edit', 'text="Title"/>\n  <edit')}),
            "layout good"),
        "an English dialog title": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace('title="IDS_MSG" table', 'title="Good" table')}),
            "layout good"),
        "an English list item": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace("<item>1:50</item>", "<item>All pages</item>")}),
            "layout good"),
        "a key without English text in a layout": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace('tooltip="IDS_MSG"><item>',
                                                                     'tooltip="IDS_NO_SUCH_KEY"><item>')}),
            "layout good"),
        "a field without a label": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace('<edit name="lineEditTitle" text="1"/>',
                                                                     '<edit name="lineEditTitle" text="1"/><edit name="e2"/>')}),
            "layout good"),
        "a button without a text": (
            plus({"ui/good.ui.kw": GOOD_CODE["ui/good.ui.kw"].replace('<button name="pushButtonGo" text="IDS_MSG"/>',
                                                                     '<button name="pushButtonGo"/>')}),
            "layout good"),
    }

    failures = []
    good_result = _run_case(good)
    if good_result.failures:
        failures.append("a correct tree fails: %s" % good_result.failures)
    for name, (files, expected) in bad_cases.items():
        failed_checks = [check for check, _ in _run_case(files).failures]
        if not any(expected in check for check in failed_checks):
            failures.append("fault not caught: %s (failed checks: %s)" % (name, failed_checks))
    total = len(bad_cases) + 1
    for failure in failures:
        print("FAIL %s" % failure)
    print("%d passed, %d failed" % (total - len(failures), len(failures)))
    return 1 if failures else 0


def main(argv):
    if len(argv) > 1 and argv[1] == "--self-test":
        return self_test()
    lang_dir = argv[1] if len(argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lang")
    if not os.path.isdir(lang_dir):
        print("no such folder: %s" % lang_dir)
        print("0 passed, 1 failed")
        return 1
    results = check_tree(lang_dir, os.path.dirname(os.path.abspath(lang_dir)))
    report(results)
    return 1 if results.failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
