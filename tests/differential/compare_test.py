#!/usr/bin/env python3
"""Checks the judge before it judges kml2mif: the corpus holds what its names say, and the
comparison accepts what GDAL legitimately reads differently and rejects real differences."""
import os
import re
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import compare  # noqa: E402 (exits 77 without GDAL's bindings)
import make_corpus  # noqa: E402
from compare import Mismatch, ogr  # noqa: E402


def declared_codec(data):
    for bom, codec in ((b"\xef\xbb\xbf", "utf-8"), (b"\xff\xfe", "utf-16-le"),
                       (b"\xfe\xff", "utf-16-be")):
        if data.startswith(bom):
            return data[len(bom):], codec
    return data, re.match(rb'<\?xml[^>]*encoding="([^"]+)"', data).group(1).decode()


class CorpusTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory()
        make_corpus.write_corpus(cls.folder.name)
        cls.names = sorted(os.listdir(cls.folder.name))

    @classmethod
    def tearDownClass(cls):
        cls.folder.cleanup()

    def read(self, name):
        with open(os.path.join(self.folder.name, name), "rb") as f:
            return f.read()

    def test_every_variant_holds_its_twins_text(self):
        for name in self.names:
            if name.endswith(".layers.kmz"):
                continue
            if name.endswith(".kmz"):
                with zipfile.ZipFile(os.path.join(self.folder.name, name)) as archive:
                    self.assertEqual(archive.namelist(), ["doc.kml"])
                    data, codec = archive.read("doc.kml"), "utf-8"
            else:
                data, codec = declared_codec(self.read(name))
            twin = self.read(compare.document_of(name) + ".utf8.kml").decode("utf-8")
            text = data.decode(codec)
            with self.subTest(name=name):
                self.assertEqual(re.sub(r'encoding="[^"]+"', "", text),
                                 re.sub(r'encoding="[^"]+"', "", twin))

    def test_every_geometry_row_and_encoding_is_there(self):
        for kind, _ in make_corpus.GEOMETRIES:
            for variant in ("plain", "odd", "nested"):
                self.assertIn("%s-%s.utf8.kml" % (kind, variant), self.names)
        suffixes = {name.split(".", 1)[1] for name in self.names}
        for suffix, _, _, _ in make_corpus.ENCODINGS:
            self.assertIn(suffix + ".kml", suffixes)
        self.assertIn("kmz", suffixes)

    def test_document_placemarks_follow_the_folders(self):
        name, placemarks = compare.document_placemarks(
            os.path.join(self.folder.name, "folders.utf8.kml"))
        self.assertEqual(name, "folders")
        self.assertEqual([p["folder"] for p in placemarks],
                         ["", "A", "A/B", "A/B/C", "A/B", "A", "D", ""])
        _, placemarks = compare.document_placemarks(
            os.path.join(self.folder.name, "model-plain.utf8.kml"))
        self.assertEqual(placemarks[0]["model"], tuple(make_corpus.walk(120, 1)[0]))
        # Only features count, and the instances of an old-style schema are placemarks.
        for document, folders in (("outside", ["", "外层"]), ("oldschema", ["", "", "", ""])):
            _, placemarks = compare.document_placemarks(
                os.path.join(self.folder.name, document + ".utf8.kml"))
            self.assertEqual([p["folder"] for p in placemarks], folders, document)

    def test_the_layered_kmz_holds_its_placemarks_in_linked_entries_only(self):
        with zipfile.ZipFile(os.path.join(self.folder.name, "multilayer.layers.kmz")) as archive:
            main = archive.read("doc.kml").decode("utf-8")
            self.assertNotIn("<Placemark", main)
            self.assertEqual(main.count("<NetworkLink>"), 2)
            for layer in ("roads", "sites"):
                self.assertEqual(archive.read("layers/%s.kml" % layer).count(b"<Placemark"), 3)

    def test_only_the_extra_values_document_takes_its_geometry_from_the_kml_driver(self):
        for name in self.names:
            if name.endswith(".utf8.kml"):
                self.assertEqual(compare.has_extra_values(os.path.join(self.folder.name, name)),
                                 name.startswith("extravalues."), name)


def geometry(wkt):
    if wkt.startswith("LINEARRING"):  # as GDAL reads a KML LinearRing; WKT has no such type
        ring = ogr.Geometry(ogr.wkbLinearRing)
        for pair in wkt[wkt.index("(") + 1:-1].split(","):
            ring.AddPoint_2D(*map(float, pair.split()))
        return ring
    return ogr.CreateGeometryFromWkt(wkt)


class ComparisonTest(unittest.TestCase):
    def check(self, kml_wkt, our_wkt):
        compare.compare_geometry(compare.primitives(geometry(kml_wkt)),
                                 geometry(our_wkt) if our_wkt else None)

    def test_what_gdal_reads_differently_is_accepted(self):
        rows = [
            ("POINT Z (1 2 3)", "POINT (1 2)"),
            ("LINEARRING (0 0,1 0,1 1,0 0)", "POLYGON ((0 0,1 0,1 1,0 0))"),
            ("GEOMETRYCOLLECTION (GEOMETRYCOLLECTION (LINESTRING (0 0,1 1),"
             "MULTILINESTRING ((2 2,3 3))),LINESTRING (4 4,5 5))",
             "MULTILINESTRING ((0 0,1 1),(2 2,3 3),(4 4,5 5))"),
            ("POLYGON ((0 0,9 0,9 9,0 0),(1 1,2 1,2 2,1 1))",
             "POLYGON ((1 1,2 1,2 2),(0 0,9 0,9 9,0 0))"),
            ("GEOMETRYCOLLECTION (POINT (1 1),LINESTRING (0 0,1 1),POINT (2 2))",
             "GEOMETRYCOLLECTION (LINESTRING (0 0,1 1),MULTIPOINT (1 1,2 2))"),
            ("MULTIPOINT (1 1,2 2)", "MULTIPOINT (1.0000000001 1,2 2)"),
            ("GEOMETRYCOLLECTION EMPTY", None),
        ]
        for kml_wkt, our_wkt in rows:
            with self.subTest(kml=kml_wkt):
                self.check(kml_wkt, our_wkt)

    def test_real_differences_are_rejected(self):
        rows = [
            ("POINT (1 2)", "POINT (1.00000001 2)"),
            ("POINT (1 2)", "MULTIPOINT (1 2)"),
            ("LINESTRING (0 0,1 1)", "LINESTRING (1 1,0 0)"),
            ("MULTILINESTRING ((0 0,1 1),(2 2,3 3))", "MULTILINESTRING ((2 2,3 3),(0 0,1 1))"),
            ("POLYGON ((0 0,9 0,9 9,0 0),(1 1,2 1,2 2,1 1))", "POLYGON ((0 0,9 0,9 9,0 0))"),
            ("MULTIPOLYGON (((0 0,1 0,1 1,0 0)),((5 5,6 5,6 6,5 5)))",
             "POLYGON ((0 0,1 0,1 1,0 0),(5 5,6 5,6 6,5 5))"),
            ("LINESTRING (0 0,1 1)", None),
            ("GEOMETRYCOLLECTION EMPTY", "POINT (0 0)"),
        ]
        for kml_wkt, our_wkt in rows:
            with self.subTest(kml=kml_wkt, ours=our_wkt):
                with self.assertRaises(Mismatch):
                    self.check(kml_wkt, our_wkt)

    def test_expected_text(self):
        rows = [
            (None, ""),
            ("  \t\n名称 \r\n", "名称"),
            ("a\r\nb\rc\nd", "a\\nb\\nc\\nd"),
            ("中" * 100, "中" * 84),  # 252 bytes: a fourth byte of 中 would pass 254
            ("x" * 300, "x" * 254),
        ]
        for value, want in rows:
            self.assertEqual(compare.expected_text(value), want)

    def test_markup_is_compared_unescaped(self):
        self.assertEqual(compare.unescaped('a &lt;b&gt; &amp;lt; &quot;q&quot; &apos;'),
                         'a <b> &lt; "q" &apos;')

    def test_charset_line_and_widths_are_ignored(self):
        utf8 = 'Version 300\r\nCharset "UTF-8"\r\nColumns 1\r\n  Name Char(9)\r\n'
        gbk = 'Version 300\r\nCharset "WindowsSimpChinese"\r\nColumns 1\r\n  Name Char(6)\r\n'
        self.assertEqual(compare.without_charset_and_widths(utf8),
                         compare.without_charset_and_widths(gbk))
        self.assertNotEqual(compare.without_charset_and_widths(utf8),
                            compare.without_charset_and_widths(gbk.replace("Name", "Nome")))


if __name__ == "__main__":
    unittest.main()
