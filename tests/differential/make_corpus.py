#!/usr/bin/env python3
"""Writes the corpus of the differential test: KML documents that cover every kind of geometry
kml2mif reads, each in a few variants, and each document in every encoding it may come in.

Usage: make_corpus.py FOLDER

For every logical document DOC it writes DOC.utf8.kml (the twin the others are compared with),
DOC.utf8bom.kml, DOC.utf16le.kml, DOC.utf16be.kml (both with a byte order mark), DOC.latin1.kml
(only for documents whose text is all Latin-1), DOC.gbk.kml, DOC.gb2312.kml, DOC.gb18030.kml
(where the text fits the encoding) and DOC.kmz (a zip holding doc.kml). The XML declaration of
each file names its encoding. Besides, multilayer.layers.kmz is a KMZ of several layers as GDAL
writes one: doc.kml links to the layers' entries. The output is the same on every run.
"""
import os
import sys
import zipfile

KML_OPEN = ('<kml xmlns="http://www.opengis.net/kml/2.2" '
            'xmlns:gx="http://www.google.com/kml/ext/2.2">')
KML21_OPEN = '<kml xmlns="http://earth.google.com/kml/2.1">'

# File suffix, Python codec, name in the XML declaration, byte order mark.
ENCODINGS = [
    ("utf8", "utf-8", "UTF-8", b""),
    ("utf8bom", "utf-8", "UTF-8", b"\xef\xbb\xbf"),
    ("utf16le", "utf-16-le", "UTF-16", b"\xff\xfe"),
    ("utf16be", "utf-16-be", "UTF-16", b"\xfe\xff"),
    ("latin1", "iso-8859-1", "ISO-8859-1", b""),
    ("gbk", "gbk", "GBK", b""),
    ("gb2312", "gb2312", "GB2312", b""),
    ("gb18030", "gb18030", "GB18030", b""),
]


# --- Coordinates -----------------------------------------------------------------------------

def walk(seed, count, step=0.001):
    """`count` points of a small walk near Beijing, different for every seed."""
    lon, lat = 116.3 + seed * 0.01, 39.9 + seed * 0.005
    points = []
    for i in range(count):
        lon += step * (1 + (i * 7 + seed) % 5)
        lat += step * (((i * 3 + seed) % 7) - 3)
        points.append((round(lon, 6), round(lat, 6)))
    return points


def ring(seed, size=0.02, holes=0):
    """A closed ring (first point repeated last) and `holes` closed rings inside it."""
    x, y = 116.0 + seed * 0.1, 39.5 + seed * 0.05
    outer = [(x, y), (x + size, y), (x + size, y + size), (x, y + size), (x, y)]
    inner = []
    for h in range(holes):
        hx = x + size * (0.1 + 0.45 * h)
        hy = y + size * 0.1
        side = size * 0.3
        inner.append([(hx, hy), (hx, hy + side), (hx + side, hy + side), (hx, hy)])
    return [[(round(a, 6), round(b, 6)) for a, b in r] for r in [outer] + inner]


def number(value, form):
    """The text of a coordinate value, in one of the forms KML writers produce."""
    text = "%.6f" % value
    if form == "plus" and value > 0:
        return "+" + text
    if form == "exponent":
        return "%.9e" % value
    if form == "short":
        return ("%.6f" % value).rstrip("0").rstrip(".")
    return text


class Tidy:
    """x,y,alt tuples, one blank apart, the altitude always present (and the same, so that a
    ring's last tuple repeats its first exactly)."""
    tuple_gap = " "

    def coordinates(self, points):
        return " ".join("%s,%s,12.5" % (number(x, "plain"), number(y, "plain"))
                        for x, y in points)

    def gx_coord(self, point):
        return "%s %s 0" % (number(point[0], "plain"), number(point[1], "plain"))


class Odd:
    """No altitude, or altitude on some tuples only; tabs, line ends and blanks between tuples
    and around commas; a '+', an exponent and a shortened number now and then."""
    gaps = ["\n\t\t\t", "  ", "\t", "\r\n ", " \n"]
    forms = ["plain", "plus", "short", "exponent"]

    def coordinates(self, points):
        parts = ["\n\t"]
        for i, (x, y) in enumerate(points):
            form = self.forms[i % len(self.forms)]
            comma = [",", " , ", ",\t", ", "][i % 4] if i % 3 else ","
            tuple_text = number(x, form) + comma + number(y, form)
            if i % 3 == 2:
                tuple_text += ",100"
            parts.append(tuple_text)
            parts.append(self.gaps[i % len(self.gaps)])
        return "".join(parts)

    def gx_coord(self, point):
        # One blank between the values: GDAL reads a second one as a value of 0, and it is the
        # judge of these files.
        return "\t%s %s 250 \n" % (number(point[0], "short"), number(point[1], "plus"))


class Extra(Tidy):
    """Tuples with more than x, y and an altitude: a fourth value, several more, an altitude that
    is not a number, a trailing comma on the last tuple (elsewhere ", " would join the next
    tuple, blanks around commas being allowed). Only x and y are kept."""
    tails = [",12.5,7", ",0,1,2", ",z", ",12.5,-3.25"]

    def coordinates(self, points):
        last = len(points) - 1
        return " ".join("%s,%s%s" % (number(x, "plain"), number(y, "plain"),
                                     "," if 0 < i == last else self.tails[i % len(self.tails)])
                        for i, (x, y) in enumerate(points))


class Commented(Tidy):
    """Tidy tuples with a comment between two of them, so the text arrives in two pieces."""

    def coordinates(self, points):
        text = Tidy.coordinates(self, points)
        cut = text.find(" ")
        if cut < 0:
            return text
        return text[:cut] + " <!-- a pause in the list --> " + text[cut + 1:]


# --- Geometries ------------------------------------------------------------------------------

def coords_element(fmt, points):
    return "<coordinates>%s</coordinates>" % fmt.coordinates(points)


def point(fmt, seed):
    return "<Point>%s</Point>" % coords_element(fmt, walk(seed, 1))


def line(fmt, seed, count=5):
    return ("<LineString><tessellate>1</tessellate>%s</LineString>" %
            coords_element(fmt, walk(seed, count)))


def linear_ring(fmt, seed):
    return "<LinearRing>%s</LinearRing>" % coords_element(fmt, ring(seed)[0])


def polygon(fmt, seed, holes=2):
    rings = ring(seed, holes=holes)
    text = "<Polygon><outerBoundaryIs><LinearRing>%s</LinearRing></outerBoundaryIs>" % (
        coords_element(fmt, rings[0]))
    for inner in rings[1:]:
        text += "<innerBoundaryIs><LinearRing>%s</LinearRing></innerBoundaryIs>" % (
            coords_element(fmt, inner))
    return text + "</Polygon>"


def track(fmt, seed, count=6):
    whens = "".join("<when>2026-12-07T08:%02d:00Z</when>" % i for i in range(count))
    coords = "".join("<gx:coord>%s</gx:coord>" % fmt.gx_coord(p) for p in walk(seed, count))
    return "<gx:Track><altitudeMode>clampToGround</altitudeMode>%s%s</gx:Track>" % (whens, coords)


def multi(*children):
    return "<MultiGeometry>%s</MultiGeometry>" % "".join(children)


def model(fmt, seed):
    lon, lat = walk(seed, 1)[0]
    return ("<Model><altitudeMode>relativeToGround</altitudeMode><Location>"
            "<longitude>%s</longitude><latitude>%s</latitude><altitude>5</altitude></Location>"
            "<Orientation><heading>45</heading><tilt>0</tilt><roll>0</roll></Orientation>"
            "<Scale><x>1</x><y>1</y><z>1</z></Scale><Link><href>files/tower.dae</href></Link>"
            "</Model>" % (number(lon, "plain"), number(lat, "plain")))


# Every row: a name and a function (format, seed) -> the geometry's XML ("" for none).
GEOMETRIES = [
    ("point", point),
    ("linestring", line),
    ("track", track),
    ("linearring", linear_ring),
    ("polygon", polygon),
    ("multipoint", lambda f, s: multi(point(f, s), point(f, s + 1), point(f, s + 2))),
    ("multilinestring", lambda f, s: multi(line(f, s), line(f, s + 1, 3))),
    ("multitrack", lambda f, s: "<gx:MultiTrack>%s%s</gx:MultiTrack>" % (track(f, s),
                                                                         track(f, s + 1, 4))),
    ("multipolygon", lambda f, s: multi(polygon(f, s, 1), polygon(f, s + 1, 0))),
    ("mixed", lambda f, s: multi(point(f, s), line(f, s + 1), polygon(f, s + 2, 1),
                                 point(f, s + 3))),
    ("nested", lambda f, s: multi(multi(line(f, s), multi(line(f, s + 1))), line(f, s + 2))),
    ("nestedmixed", lambda f, s: multi(point(f, s), multi(polygon(f, s + 1, 0),
                                                          multi(line(f, s + 2))))),
    ("model", model),
    ("nogeometry", lambda f, s: ""),
]


# --- Documents -------------------------------------------------------------------------------

STYLES = """
  <Style id="red-line"><LineStyle><color>ff0000ff</color><width>3</width></LineStyle>
    <PolyStyle><color>7f00ff00</color><fill>1</fill><outline>0</outline></PolyStyle></Style>
  <StyleMap id="pin-map">
    <Pair><key>normal</key><styleUrl>#blue-pin</styleUrl></Pair>
    <Pair><key>highlight</key><Style><IconStyle><scale>2</scale></IconStyle></Style></Pair>
  </StyleMap>"""
STYLES_AFTER = """
  <Style id="blue-pin"><IconStyle><color>ffff0000</color><scale>1.5</scale></IconStyle>
    <LineStyle><color>ffff0000</color></LineStyle></Style>"""
SCHEMA = """
  <Schema name="survey" id="survey-schema">
    <SimpleField type="int" name="floors"></SimpleField>
    <SimpleField type="string" name="owner"></SimpleField>
  </Schema>"""
INLINE_STYLE = ("<Style><LineStyle><color>ff00ffff</color><width>2.4</width></LineStyle>"
                "<IconStyle><scale>0.5</scale></IconStyle></Style>")


def document(name, body, before="", after="", kml_open=KML_OPEN):
    return ('<?xml version="1.0" encoding="@ENCODING@"?>\n'
            "<!-- Made for the differential test of kml2mif -->\n"
            "%s\n<Document>\n  <name>%s</name>%s\n%s%s\n</Document>\n</kml>\n" %
            (kml_open, name, before, body, after))


def placemark(name, geometry, description=None, extra=""):
    text = "  <Placemark>\n"
    if name is not None:
        text += "    <name>%s</name>\n" % name
    if description is not None:
        text += "    <description>%s</description>\n" % description
    return text + extra + "    " + geometry + "\n  </Placemark>\n"


def extended_data(seed):
    return ("    <ExtendedData>\n"
            '      <Data name="code"><displayName>编码</displayName><value>%d</value></Data>\n'
            '      <Data name="height"><value> %.2f </value></Data>\n'
            '      <SchemaData schemaUrl="#survey-schema">\n'
            '        <SimpleData name="floors">%d</SimpleData>\n'
            '        <SimpleData name="owner">王 &amp; 李</SimpleData>\n'
            "      </SchemaData>\n"
            "    </ExtendedData>\n" % (seed, seed * 1.25, seed % 9))


def geometry_documents():
    """Each geometry row in three variants: plain (tidy, ASCII text, at the top), odd (odd
    coordinate text, Chinese and CDATA, an inline style) and nested (in nested Folders, with
    entities, ExtendedData and shared styles defined before and after their use)."""
    documents = {}
    for row, (kind, make) in enumerate(GEOMETRIES):
        seed = row * 10
        documents["%s-plain" % kind] = document(
            kind, placemark("%s plain" % kind, make(Tidy(), seed), "A %s, written tidily." % kind))
        documents["%s-odd" % kind] = document(
            "中文 " + kind,
            placemark("北京 %s" % kind, make(Odd(), seed + 1),
                      "<![CDATA[<b>天安门</b> & 故宫<br/>\n第二行 \"引号\"]]>",
                      "    " + INLINE_STYLE + "\n") +
            placemark("  \n\t空白 %s\t " % kind, make(Commented(), seed + 2), "  前后有空白  "))
        nested = (
            "  <Folder><name>外层 &amp; outer</name>\n" +
            placemark("A &amp; B &lt;C&gt; &#x4E2D;&#25991;", make(Tidy(), seed + 3),
                      "x &lt; y &amp;&amp; &#x201C;quoted&#x201D;",
                      "    <styleUrl>#blue-pin</styleUrl>\n" + extended_data(seed + 3)) +
            "  <Folder><name>内层</name>\n" +
            placemark("inner %s" % kind, make(Odd(), seed + 4), None,
                      "    <styleUrl>#pin-map</styleUrl>\n" + extended_data(seed + 4)) +
            "  </Folder>\n  </Folder>\n" +
            placemark("top %s" % kind, make(Tidy(), seed + 5), "after the folders",
                      "    <styleUrl>#red-line</styleUrl>\n"))
        documents["%s-nested" % kind] = document("nested " + kind, nested,
                                                 STYLES + SCHEMA, STYLES_AFTER)
    return documents


def feature_documents():
    """Documents about what surrounds the geometry: folders, data fields, styles, text."""
    documents = {}
    folders = (
        placemark("first", point(Tidy(), 1), "before any folder") +
        "  <Folder><name>A</name>\n" + placemark("a1", line(Tidy(), 2)) +
        "  <Folder><name>B</name>\n" + placemark("b1", point(Tidy(), 3)) +
        "  <Folder><name>C</name>\n" + placemark("c1", polygon(Tidy(), 4, 1)) +
        "  </Folder>\n" + placemark("b2", line(Odd(), 5)) + "  </Folder>\n" +
        "  <Folder><name>空</name></Folder>\n" + placemark("a2", point(Odd(), 6)) +
        "  </Folder>\n" + "  <Folder><name>D</name>\n" + placemark("d1", point(Tidy(), 7)) +
        "  </Folder>\n" + placemark("last", line(Tidy(), 8), "after every folder"))
    documents["folders"] = document("folders", folders)

    fields = "".join(
        placemark("field %d" % i, point(Tidy(), 20 + i), "row %d" % i,
                  "    <ExtendedData>\n" +
                  ('      <Data name="count"><value>%d</value></Data>\n' % (i * 7 - 10)) +
                  ('      <Data name="ratio"><value>%s</value></Data>\n' % ["0.5", "-2",
                                                                             "1e3", ""][i % 4]) +
                  ('      <Data name="label"><value>标签%d</value></Data>\n' % i if i % 2 else "") +
                  ('      <Data name="count"><value>ignored, the first wins</value></Data>\n') +
                  '      <SchemaData schemaUrl="#survey-schema">\n' +
                  ('        <SimpleData name="floors">%d</SimpleData>\n' % (i + 1)) +
                  '        <SimpleData name="owner">"Ltd", 有限公司</SimpleData>\n' +
                  "      </SchemaData>\n    </ExtendedData>\n")
        for i in range(6))
    documents["extendeddata"] = document("extended data", fields, SCHEMA)

    styled = (
        placemark("shared before", line(Tidy(), 30), None, "    <styleUrl>#red-line</styleUrl>\n") +
        placemark("shared after", point(Tidy(), 31), None, "    <styleUrl>#late</styleUrl>\n") +
        placemark("map", point(Tidy(), 32), None, "    <styleUrl>#pin-map</styleUrl>\n") +
        placemark("inline", polygon(Tidy(), 33, 1), None, "    " + INLINE_STYLE + "\n") +
        placemark("inline over shared", line(Tidy(), 34), None,
                  "    <styleUrl>#red-line</styleUrl>\n    " + INLINE_STYLE + "\n") +
        placemark("unknown style", line(Tidy(), 35), None, "    <styleUrl>#nowhere</styleUrl>\n") +
        placemark("other file", point(Tidy(), 36), None,
                  "    <styleUrl>styles.kml#red-line</styleUrl>\n"))
    late = ('\n  <Style id="late"><IconStyle><color>ff00ff00</color></IconStyle></Style>' +
            STYLES_AFTER)
    documents["styles"] = document("styles", styled, STYLES, late)

    latin = (placemark("Café Zürich", point(Tidy(), 40), "Straße, façade & naïve — ½ °C"
                       .replace("—", "-").replace("&", "&amp;")) +
             placemark("Ålesund «fjord»", line(Odd(), 41), "Ørsta; Æble; señor"))
    documents["latin1"] = document("Latin-1 only", latin)

    chinese = "".join(
        placemark(name, geometry, description) for name, geometry, description in [
            ("天安门广场", point(Tidy(), 50), "北京市东城区，中华人民共和国的象征。"),
            ("长安街", line(Tidy(), 51, 8), "东西走向的主干道\n全长约十三公里"),
            ("故宫博物院", polygon(Tidy(), 52, 1), "<![CDATA[<p>明清两代的皇家宫殿</p>]]>"),
            ("颐和园 &amp; 圆明园", multi(point(Tidy(), 53), point(Tidy(), 54)), "海淀区"),
        ])
    documents["chinese"] = document("中文地名", chinese)

    # Markup in descriptions outside CDATA, as viewers accept it: kept as markup.
    markup = "".join(
        placemark(name, geometry, description) for name, geometry, description in [
            ("breaks", point(Tidy(), 60), "Some<br/>HTML<br/>content"),
            ("bold", line(Tidy(), 61), "before &amp; <b>bold</b> &lt;after&gt;"),
            ("attributes", point(Tidy(), 62),
             '<a href="http://example.com/?a=1&amp;b=2" title=\'say "hi"\'>链接</a> text'),
            ("cdata", polygon(Tidy(), 63, 1),
             "<![CDATA[<p>x & y</p>]]> plain &amp; <i>italic</i> <![CDATA[ & ]]>"),
            ("table", point(Odd(), 64), "<table><tr><td>一</td><td>二</td></tr></table>"),
            ("prefix", point(Tidy(), 65),
             'x <html:b xmlns:html="http://www.w3.org/1999/xhtml">b</html:b> y'),
            ("lines", point(Tidy(), 66), "  <p>\n lines\n</p>  "),
        ])
    documents["markup"] = document("markup", markup)

    extra = "".join(
        placemark(name, geometry, None) for name, geometry in [
            ("point", point(Extra(), 70)),
            ("line", line(Extra(), 71, 7)),
            ("polygon", polygon(Extra(), 72, 1)),
            ("mixed", multi(point(Extra(), 73), line(Extra(), 74), polygon(Extra(), 75, 0))),
        ])
    documents["extravalues"] = document("extra values", extra)

    # Placemarks that are no features of the document: in an Update, a Style, ExtendedData, an
    # element KML does not define, a tour. Only the two in the Document and its Folder count.
    hidden = placemark("hidden", point(Tidy(), 80), "not a feature")
    outside = (
        "  <Style id=\"s\">\n" + hidden + "  </Style>\n" +
        placemark("kept", point(Tidy(), 81), "a feature") +
        "  <Unknown>\n" + hidden + "  <Folder><name>U</name>\n" + hidden + "  </Folder>\n"
        "  </Unknown>\n  <gx:Tour><gx:Playlist>\n" + hidden + "  </gx:Playlist></gx:Tour>\n"
        "  <Folder><name>外层</name>\n" + placemark("kept too", line(Tidy(), 82)) +
        "  <ExtendedData>\n" + hidden + "  </ExtendedData>\n  </Folder>\n"
        "  <Update><Create>\n" + hidden + "  </Create></Update>\n")
    update = ("\n  <NetworkLinkControl><Update><targetHref>a.kml</targetHref><Create>"
              "<Document targetId=\"d\">\n" + hidden + "  </Document></Create><Change>"
              "<Placemark targetId=\"p\"><name>changed</name></Placemark></Change>"
              "</Update></NetworkLinkControl>")
    documents["outside"] = document("outside", outside).replace(KML_OPEN, KML_OPEN + update, 1)

    # An old-style (KML 2.1) schema: its instances are placemarks, its fields their columns.
    old_schema = ('\n  <Schema name="S_park" parent="Placemark">\n'
                  '    <SimpleField name="AREA" type="double"></SimpleField>\n'
                  '    <SimpleField name="NAME2" type="string"></SimpleField>\n  </Schema>')
    parks = "".join(
        "  <S_park>\n    <name>%s</name>\n    <description>%s</description>\n"
        "    <AREA>%s</AREA>\n    <NAME2>%s</NAME2>\n    %s\n  </S_park>\n" % row
        for row in [("公园 1", "first", "12.5", "x", polygon(Tidy(), 90, 1)),
                    ("park 2", "second", "-3", "王 &amp; 李", point(Tidy(), 91)),
                    ("park 3", "third", "1e3", "", line(Tidy(), 92))])
    documents["oldschema"] = document("old schema", parks + placemark("plain", point(Tidy(), 93)),
                                      old_schema, kml_open=KML21_OPEN)
    return documents


def layered_kmz():
    """A KMZ as GDAL writes a data source of several layers: doc.kml holds only NetworkLinks to
    layers/NAME.kml, each a Document with a Schema and its placemarks."""
    links = "".join("    <NetworkLink>\n      <Link>\n        <href>layers/%s.kml</href>\n"
                    "      </Link>\n    </NetworkLink>\n" % name for name in ("roads", "sites"))
    entries = [("doc.kml", '<?xml version="1.0" encoding="UTF-8"?>\n'
                '<kml xmlns="http://www.opengis.net/kml/2.2">\n  <Document id="root_doc">\n' +
                links + "  </Document>\n</kml>\n"), ("layers/", "")]
    for layer, make in (("roads", line), ("sites", point)):
        body = "".join(
            '  <Placemark id="%s.%d">\n    <name>%s %d</name>\n    <ExtendedData>'
            '<SchemaData schemaUrl="#%s.schema">\n      <SimpleData name="code">%d</SimpleData>\n'
            "    </SchemaData></ExtendedData>\n    %s\n  </Placemark>\n" %
            (layer, i, layer, i, layer, i * 3, make(Tidy(), 100 + i)) for i in range(1, 4))
        entries.append(("layers/%s.kml" % layer, '<?xml version="1.0" encoding="UTF-8"?>\n'
                        '<kml xmlns="http://www.opengis.net/kml/2.2">\n'
                        '<Document id="%s">\n  <name>%s</name>\n  <Schema id="%s.schema">\n'
                        '    <SimpleField name="code" type="int"/>\n  </Schema>\n%s'
                        "</Document>\n</kml>\n" % (layer, layer, layer, body)))
    return entries


def encoded_variants(text):
    """(suffix, bytes) for every encoding that can hold the document's text."""
    variants = []
    for suffix, codec, declared, bom in ENCODINGS:
        try:
            data = text.replace("@ENCODING@", declared).encode(codec)
        except UnicodeEncodeError:
            continue
        variants.append((suffix, bom + data))
    return variants


def write_corpus(folder):
    os.makedirs(folder, exist_ok=True)
    names = []
    documents = geometry_documents()
    documents.update(feature_documents())
    for doc, text in sorted(documents.items()):
        for suffix, data in encoded_variants(text):
            name = "%s.%s.kml" % (doc, suffix)
            with open(os.path.join(folder, name), "wb") as out:
                out.write(data)
            names.append(name)
        kmz = zipfile.ZipInfo("doc.kml", date_time=(2026, 12, 7, 0, 0, 0))
        kmz.compress_type = zipfile.ZIP_DEFLATED
        with zipfile.ZipFile(os.path.join(folder, doc + ".kmz"), "w") as archive:
            archive.writestr(kmz, text.replace("@ENCODING@", "UTF-8").encode("utf-8"))
        names.append(doc + ".kmz")
    with zipfile.ZipFile(os.path.join(folder, "multilayer.layers.kmz"), "w") as archive:
        for entry, text in layered_kmz():
            info = zipfile.ZipInfo(entry, date_time=(2026, 12, 7, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, text.encode("utf-8"))
    names.append("multilayer.layers.kmz")
    return names


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_corpus.py FOLDER")
    names = write_corpus(sys.argv[1])
    print("%d files in %s" % (len(names), sys.argv[1]))


if __name__ == "__main__":
    main()
