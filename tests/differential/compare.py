#!/usr/bin/env python3
"""Differential test: what kml2mif writes, read back by GDAL, against GDAL's own reading of the
KML.

Usage: compare.py KML2MIF [--corpus FOLDER] [--files GLOB] [--keep]

Without --corpus the corpus is made afresh by make_corpus.py in a scratch folder. For every
document DOC of the corpus:

- DOC.utf8.kml (the twin) is converted with `--charset UTF-8`; GDAL reads the .mif back and every
  feature is compared with what GDAL's LIBKML driver reads from the KML: the geometry after the
  MIF mapping (coordinates within 1e-9, points and lines in order, rings as a set), Name,
  Description, and the ExtendedData fields GDAL reads. Our features are in document order, one
  per placemark; GDAL's are in one layer per Folder, so each of GDAL's features is put in its
  placemark's place by the Folder it is in.
- the same conversion with `--charset WindowsSimpChinese`, decoded from GBK, must give the same
  text apart from the Charset line and the widths of Char columns.
- every other encoding of DOC and DOC.kmz must give .mif and .mid byte for byte equal to the
  twin's.
- a KMZ of several layers (NAME.layers.kmz: doc.kml holding only NetworkLinks to entries of the
  archive, as GDAL writes one) is converted whole; GDAL's LIBKML reads each linked entry as a
  layer, and our features must be its layers' features, one layer after the other.

Only features of a document are placemarks: the document is read for those whose ancestors are
all kml, Document or Folder (GDAL reads no placemark inside an Update, a Style, ExtendedData or
an element KML does not define either); the instances of an old-style schema (KML 2.1, a Schema
with parent="Placemark") are placemarks, and GDAL reads their fields as columns.

What GDAL cannot judge: it reads no geometry from a Model (the Model's Location is checked
against the document instead), it does not trim white space from names and descriptions (we
do, so its values are trimmed before comparing), in a document that declares a Schema it reads
the SchemaData fields but not the Data elements (those are then not compared), and it knows
nothing of styles, of the Folder column's text (checked against the document's Folders), nor
of GBK documents (those are judged through their twin).

Where GDAL differs by design: it keeps the markup of a description as we do (an empty element
as <br></br>, attributes, CDATA content as it stands) but does not escape the text around the
tags again (`a &lt; b <b>x</b>` gives `a < b <b>x</b>`, ours `a &lt; b <b>x</b>`), so names and
descriptions are compared with &amp;, &lt;, &gt; and &quot; turned back into their characters
on both sides. Its LIBKML driver reads the fourth value of a tuple (`1,2,0,5`) as the next
tuple's x; in a document with tuples of more than x, y and a numeric altitude the geometry is
compared with what its KML driver reads instead, which keeps x and y as we do.

Prints one line per file and `N passed, N failed`; exits 1 on any failure, 77 when GDAL's Python
bindings are missing.
"""
import argparse
import fnmatch
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

try:
    from osgeo import gdal, ogr
except ImportError:
    # The bindings come with the system's Python; another python3 may come first on PATH.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != \
            os.path.realpath("/usr/bin/python3") and not os.environ.get("KML2MIF_REEXEC"):
        os.environ["KML2MIF_REEXEC"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    print("skipped: GDAL's Python bindings (osgeo) are not installed")
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
TOLERANCE = 1e-9
MAX_CHAR_BYTES = 254  # the longest Char value a MIF column holds
# Fields GDAL's KML reading adds of its own; the rest come from ExtendedData.
KML_FIELDS = {"name", "description", "timestamp", "begin", "end", "altitudemode", "tessellate",
              "extrude", "visibility", "draworder", "icon", "snippet"}


class Mismatch(Exception):
    pass


# --- What the document says (independent of GDAL and of kml2mif) -----------------------------

def local(tag):
    return tag.rsplit("}", 1)[-1]


def child_text(element, name):
    for child in element:
        if local(child.tag) == name:
            return child.text or ""
    return None


def has_extra_values(kml_path):
    """Whether some coordinate tuple holds more than x, y and an altitude that is a number."""
    for element in ElementTree.parse(kml_path).getroot().iter():
        if local(element.tag) != "coordinates":
            continue
        text = re.sub(r"\s*,\s*", ",", "".join(element.itertext()))
        for values in (t.split(",") for t in text.split()):
            if len(values) > 3:
                return True
            try:
                if len(values) == 3:
                    float(values[2])
            except ValueError:
                return True
    return False


def document_placemarks(kml_path):
    """(Document name, [placemark]) in document order; a placemark is a dict with its folder
    path, its innermost folder's name and, for a Model, its Location. Only features count: a
    Placemark (or an instance of an old-style schema whose parent is Placemark) whose ancestors
    are all kml, Document or Folder."""
    root = ElementTree.parse(kml_path).getroot()
    placemarks = []
    document_name = [None]
    instances = {"Placemark"}
    for element in root.iter():
        if local(element.tag) == "Schema" and element.get("parent") == "Placemark":
            instances.add(element.get("name"))

    def visit(element, folders):
        tag = local(element.tag)
        if tag == "Document" and document_name[0] is None:
            document_name[0] = (child_text(element, "name") or "").strip()
        if tag in instances:
            model = None
            for node in element.iter():
                if local(node.tag) == "Location":
                    model = (float(child_text(node, "longitude")),
                             float(child_text(node, "latitude")))
            placemarks.append({"folder": "/".join(folders),
                               "innermost": folders[-1] if folders else "", "model": model})
            return
        if tag not in ("kml", "Document", "Folder"):
            return
        if tag == "Folder":
            folders = folders + [(child_text(element, "name") or "").strip()]
        for child in element:
            visit(child, folders)

    visit(root, [])
    return document_name[0], placemarks


# --- Geometry ---------------------------------------------------------------------------------

def coordinates(geometry):
    return [(geometry.GetX(i), geometry.GetY(i)) for i in range(geometry.GetPointCount())]


def open_ring(ring):
    return ring[:-1] if len(ring) > 1 and ring[0] == ring[-1] else ring


def primitives(geometry):
    """Flattens a geometry into (points, lines, rings, polygon count)."""
    points, lines, rings = [], [], []
    polygons = [0]

    def visit(g):
        kind = ogr.GT_Flatten(g.GetGeometryType())
        if kind == ogr.wkbPoint:
            points.append((g.GetX(), g.GetY()))
        elif kind == ogr.wkbLineString and g.GetGeometryName() == "LINEARRING":
            rings.append(open_ring(coordinates(g)))
            polygons[0] += 1
        elif kind == ogr.wkbLineString:
            lines.append(coordinates(g))
        elif kind == ogr.wkbPolygon:
            polygons[0] += 1
            for i in range(g.GetGeometryCount()):
                rings.append(open_ring(coordinates(g.GetGeometryRef(i))))
        else:
            for i in range(g.GetGeometryCount()):
                visit(g.GetGeometryRef(i))

    if geometry is not None:
        visit(geometry)
    return points, lines, rings, polygons[0]


def mif_type(points, lines, rings, polygons):
    """The type GDAL gives the MIF object kml2mif writes for these parts."""
    kinds = [bool(points), bool(lines), bool(rings)]
    if sum(kinds) == 0:
        return None
    if sum(kinds) > 1:
        return "GEOMETRYCOLLECTION"
    if points:
        return "POINT" if len(points) == 1 else "MULTIPOINT"
    if lines:
        return "LINESTRING" if len(lines) == 1 else "MULTILINESTRING"
    return "POLYGON" if polygons == 1 else "MULTIPOLYGON"


def same_points(a, b):
    return len(a) == len(b) and all(abs(p[0] - q[0]) <= TOLERANCE and abs(p[1] - q[1]) <=
                                    TOLERANCE for p, q in zip(a, b))


def compare_geometry(expected_parts, ours):
    points, lines, rings, polygons = expected_parts
    want = mif_type(points, lines, rings, polygons)
    got = ours.GetGeometryName() if ours is not None else None
    if got != want:
        raise Mismatch("geometry type %s, expected %s" % (got, want))
    our_points, our_lines, our_rings, _ = primitives(ours)
    if not same_points(our_points, points):
        raise Mismatch("points %s, expected %s" % (our_points, points))
    if len(our_lines) != len(lines) or not all(map(same_points, our_lines, lines)):
        raise Mismatch("lines %s, expected %s" % (our_lines, lines))
    unmatched = list(our_rings)
    for ring in rings:
        match = next((i for i, r in enumerate(unmatched) if same_points(r, ring)), None)
        if match is None:
            raise Mismatch("ring %s missing from %s" % (ring, our_rings))
        del unmatched[match]
    if unmatched:
        raise Mismatch("extra rings %s" % unmatched)


# --- Text -------------------------------------------------------------------------------------

def field(feature, name):
    """A field's text by case-insensitive name; None when there is no such field."""
    definition = feature.GetDefnRef()
    for i in range(definition.GetFieldCount()):
        if definition.GetFieldDefn(i).GetName().lower() == name.lower():
            return feature.GetFieldAsString(i) if feature.IsFieldSet(i) else ""
    return None


def expected_text(value):
    """What kml2mif writes for a text GDAL read from the KML: trimmed, each line break as the
    two characters \\n, cut to what a Char column holds."""
    value = re.sub(r"\r\n|\r|\n", r"\\n", (value or "").strip(" \t\r\n"))
    data = value.encode("utf-8")
    if len(data) <= MAX_CHAR_BYTES:
        return value
    return data[:MAX_CHAR_BYTES].decode("utf-8", errors="ignore")


def unescaped(text):
    """The text with the entities that we write and GDAL does not turned back into characters."""
    for entity, character in (("&lt;", "<"), ("&gt;", ">"), ("&quot;", '"'), ("&amp;", "&")):
        text = text.replace(entity, character)
    return text


def same_value(a, b):
    try:
        return abs(float(a) - float(b)) <= TOLERANCE * max(1.0, abs(float(a)))
    except ValueError:
        return a == b


def compare_feature(reference, ours, placemark, geometry_reference):
    for name in ("Name", "Description"):
        want = expected_text(field(reference, name))
        got = field(ours, name) or ""
        if unescaped(got) != unescaped(want):
            raise Mismatch("%s %r, expected %r" % (name, got, want))
    if ours.GetDefnRef().GetFieldIndex("Folder") >= 0 or placemark["folder"]:
        got = field(ours, "Folder")
        if got != expected_text(placemark["folder"]):
            raise Mismatch("Folder %r, expected %r" % (got, placemark["folder"]))
    definition = reference.GetDefnRef()
    for i in range(definition.GetFieldCount()):
        name = definition.GetFieldDefn(i).GetName()
        if name.lower() in KML_FIELDS or not reference.IsFieldSet(i):
            continue
        want = expected_text(reference.GetFieldAsString(i))
        got = field(ours, name)
        if want and (got is None or not same_value(got, want)):
            raise Mismatch("field %s %r, expected %r" % (name, got, want))
    geometry = geometry_reference.GetGeometryRef()
    if geometry is None and placemark["model"] is not None:
        expected_parts = ([placemark["model"]], [], [], 0)
    else:
        expected_parts = primitives(geometry)
    compare_geometry(expected_parts, ours.GetGeometryRef())


# --- Files ------------------------------------------------------------------------------------

def read_features(path, driver=None):
    """[(layer name, [features])] as GDAL reads the file."""
    source = gdal.OpenEx(path, gdal.OF_VECTOR | gdal.OF_READONLY,
                         allowed_drivers=[driver] if driver else None)
    if source is None:
        raise Mismatch("GDAL cannot open %s" % os.path.basename(path))
    layers = []
    for index in range(source.GetLayerCount()):
        layer = source.GetLayer(index)
        layers.append((layer.GetName(), [feature for feature in layer]))
    return layers


def reference_order(kml_path, document_name, placemarks, driver="LIBKML"):
    """GDAL's features of the KML, each put in its placemark's place in document order."""
    by_folder = {}
    for index, placemark in enumerate(placemarks):
        by_folder.setdefault(placemark["innermost"], []).append(index)
    ordered = [None] * len(placemarks)
    for layer_name, features in read_features(kml_path, driver):
        key = "" if layer_name == document_name and "" in by_folder else layer_name
        places = by_folder.get(key, [])
        if len(places) != len(features):
            raise Mismatch("GDAL reads %d placemarks in layer %r, the document has %d there" %
                           (len(features), layer_name, len(places)))
        for place, feature in zip(places, features):
            ordered[place] = feature
    if None in ordered:
        raise Mismatch("GDAL reads no feature for placemark %d" % (ordered.index(None) + 1))
    return ordered


def convert(kml2mif, source, scratch, charset):
    """Converts a copy of `source` in a folder of its own; gives the .mif path."""
    folder = tempfile.mkdtemp(dir=scratch)
    copy = os.path.join(folder, os.path.basename(source))
    shutil.copyfile(source, copy)
    run = subprocess.run([kml2mif, "--quiet", "--charset", charset, copy], capture_output=True)
    if run.returncode != 0:
        raise Mismatch("%s --charset %s exited with %d: %s" % (
            os.path.basename(kml2mif), charset, run.returncode,
            run.stderr.decode("utf-8", errors="replace").strip()))
    mif = copy[:-3] + "mif"
    for path in (mif, copy[:-3] + "mid"):
        if not os.path.exists(path):
            raise Mismatch("%s was not written" % os.path.basename(path))
    return mif


def read_pair(mif):
    with open(mif, "rb") as a, open(mif[:-3] + "mid", "rb") as b:
        return a.read(), b.read()


def without_charset_and_widths(text):
    text = re.sub(r'(?im)^charset "[^"]*"\r?$', "Charset", text)
    return re.sub(r"(?i)\bchar\s*\(\s*\d+\s*\)", "Char(w)", text)


def check_gbk_output(kml2mif, source, scratch, utf8_pair):
    """The WindowsSimpChinese pair read as GBK says what the UTF-8 pair says."""
    gbk_pair = read_pair(convert(kml2mif, source, scratch, "WindowsSimpChinese"))
    for name, ours, utf8 in zip(("mif", "mid"), gbk_pair, utf8_pair):
        want = utf8.decode("utf-8").encode("gbk", errors="replace").decode("gbk")
        got = ours.decode("gbk")
        if without_charset_and_widths(got) != without_charset_and_widths(want):
            raise Mismatch("--charset WindowsSimpChinese %s differs from the UTF-8 one" % name)


def check_twin(kml2mif, path, scratch):
    document_name, placemarks = document_placemarks(path)
    mif = convert(kml2mif, path, scratch, "UTF-8")
    ours = [f for _, features in read_features(mif, "MapInfo File") for f in features]
    if len(ours) != len(placemarks):
        raise Mismatch("%d features, the document has %d placemarks" % (len(ours),
                                                                         len(placemarks)))
    reference = reference_order(path, document_name, placemarks)
    geometries = reference_order(path, document_name, placemarks, "KML") \
        if has_extra_values(path) else reference
    for number, (want, got, placemark, geometry) in enumerate(
            zip(reference, ours, placemarks, geometries), 1):
        try:
            compare_feature(want, got, placemark, geometry)
        except Mismatch as error:
            raise Mismatch("feature %d: %s" % (number, error))
    pair = read_pair(mif)
    check_gbk_output(kml2mif, path, scratch, pair)
    return pair, "%d features agree with GDAL" % len(ours)


def check_variant(kml2mif, path, scratch, twin_pair):
    if twin_pair is None:
        raise Mismatch("its UTF-8 twin failed")
    pair = read_pair(convert(kml2mif, path, scratch, "UTF-8"))
    for name, ours, twin in zip(("mif", "mid"), pair, twin_pair):
        if ours != twin:
            raise Mismatch(".%s differs from the UTF-8 twin's" % name)
    return "same as the UTF-8 twin"


def check_layers(kml2mif, path, scratch):
    """A KMZ of layers, each an entry that doc.kml links to: our rows are GDAL's layers one
    after the other, in the order of the links."""
    mif = convert(kml2mif, path, scratch, "UTF-8")
    ours = [f for _, features in read_features(mif, "MapInfo File") for f in features]
    reference = [f for _, features in read_features(path, "LIBKML") for f in features]
    if len(ours) != len(reference) or not ours:
        raise Mismatch("%d features, GDAL reads %d" % (len(ours), len(reference)))
    placemark = {"folder": "", "innermost": "", "model": None}
    for number, (want, got) in enumerate(zip(reference, ours), 1):
        try:
            compare_feature(want, got, placemark, want)
        except Mismatch as error:
            raise Mismatch("feature %d: %s" % (number, error))
    return "%d features agree with GDAL's layers" % len(ours)


def document_of(name):
    return name[:-4] if name.endswith(".kmz") else name.split(".")[0]


def run(kml2mif, corpus, pattern, scratch):
    names = sorted(n for n in os.listdir(corpus) if n.endswith((".kml", ".kmz")) and
                   fnmatch.fnmatch(n, pattern))
    # Twins first: the other encodings are compared with their output.
    names.sort(key=lambda n: (document_of(n), not n.endswith(".utf8.kml"), n))
    twins = {}
    passed = failed = 0
    for name in names:
        path = os.path.join(corpus, name)
        try:
            if name.endswith(".layers.kmz"):
                verdict = check_layers(kml2mif, path, scratch)
            elif name.endswith(".utf8.kml"):
                twins[document_of(name)], verdict = check_twin(kml2mif, path, scratch)
            else:
                verdict = check_variant(kml2mif, path, scratch, twins.get(document_of(name)))
            passed += 1
            print("ok   %s: %s" % (name, verdict), flush=True)
        except (Mismatch, UnicodeDecodeError, ElementTree.ParseError) as error:
            failed += 1
            text = str(error)
            print("FAIL %s: %s" % (name, text if len(text) < 400 else text[:400] + " ..."),
                  flush=True)
    print("%d passed, %d failed" % (passed, failed))
    return failed == 0 and passed > 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("kml2mif")
    parser.add_argument("--corpus", help="the corpus folder (made afresh when not given)")
    parser.add_argument("--files", default="*", help="only the corpus files matching this")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folder")
    args = parser.parse_args()
    gdal.PushErrorHandler("CPLQuietErrorHandler")  # GDAL 3.6 warns on Charset "UTF-8"
    scratch = tempfile.mkdtemp(prefix="kml2mif-differential-")
    try:
        corpus = args.corpus
        if corpus is None:
            corpus = os.path.join(scratch, "corpus")
            subprocess.run([sys.executable, os.path.join(HERE, "make_corpus.py"), corpus],
                           check=True, stdout=subprocess.DEVNULL)
        ok = run(os.path.abspath(args.kml2mif), corpus, args.files, scratch)
    finally:
        if args.keep:
            print("scratch folder kept: %s" % scratch)
        else:
            shutil.rmtree(scratch, ignore_errors=True)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
