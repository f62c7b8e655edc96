#!/usr/bin/env python3
"""Writes the KML files of the benchmarks, streaming, so that files of gigabytes need no memory.

Usage: make_kml.py [--kind KIND] SIZE OUTPUT

KIND (default track):
  track         one placemark whose track is one coordinate line of SIZE points, as map viewers
                write it (a seeded random walk around Beijing, six decimals, altitude 0)
  placemarks    SIZE point placemarks, each with a name, a description and two ExtendedData
                fields, partly Chinese (about 220 bytes each: 10^5 make 22 MB)
  line-bytes    one LineString of about SIZE bytes (its points repeat every MiB)
  description   one point placemark whose description is about SIZE bytes of text, Chinese and
                ASCII with entities and line ends

The files are the same on every run.
"""
import argparse
import random

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2">
<Document>
\t<name>track</name>
\t<Placemark>
\t\t<name>track</name>
\t\t<LineString>
\t\t\t<tessellate>1</tessellate>
\t\t\t<coordinates>
\t\t\t\t"""
TAIL = """
\t\t\t</coordinates>
\t\t</LineString>
\t</Placemark>
</Document>
</kml>
"""
DOCUMENT_HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<kml xmlns="http://www.opengis.net/kml/2.2">
<Document>
\t<name>benchmark</name>
"""
DOCUMENT_TAIL = "</Document>\n</kml>\n"
CHUNK = 1 << 20


def walk(points, seed):
    """Yields the point texts of a seeded random walk around Beijing."""
    rng = random.Random(seed)
    lon, lat = 116.391234, 39.907654
    for _ in range(points):
        lon += rng.uniform(-0.0002, 0.0002)
        lat += rng.uniform(-0.0002, 0.0002)
        yield "%.6f,%.6f,0 " % (lon, lat)


def write_track(out, points):
    out.write(HEAD)
    chunk = []
    for text in walk(points, points):
        chunk.append(text)
        if len(chunk) == 100000:
            out.write("".join(chunk))
            chunk = []
    out.write("".join(chunk))
    out.write(TAIL)


def write_line_bytes(out, size):
    block = "".join(walk(CHUNK // 23, 7))
    out.write(HEAD)
    written = 0
    while written < size:
        out.write(block)
        written += len(block)
    out.write(TAIL)


def write_placemarks(out, count):
    rng = random.Random(count)
    out.write(DOCUMENT_HEAD)
    chunk = []
    for i in range(count):
        lon = 116.0 + rng.uniform(0, 1)
        lat = 39.5 + rng.uniform(0, 1)
        chunk.append(
            "<Placemark><name>站点 %d</name><description>第 %d 号观测点</description>"
            "<ExtendedData><Data name=\"code\"><value>%d</value></Data>"
            "<Data name=\"height\"><value>%.1f</value></Data></ExtendedData>"
            "<Point><coordinates>%.6f,%.6f</coordinates></Point></Placemark>\n" %
            (i, i, i, rng.uniform(0, 500), lon, lat))
        if len(chunk) == 10000:
            out.write("".join(chunk))
            chunk = []
    out.write("".join(chunk))
    out.write(DOCUMENT_TAIL)


def write_description(out, size):
    line = "北京 Beijing &amp; 天津 Tianjin &lt;双城&gt; 观测记录, 第二段文字 0123456789\n"
    block = line * (CHUNK // len(line.encode("utf-8")))
    out.write(DOCUMENT_HEAD)
    out.write("\t<Placemark><name>long description</name><description>")
    written = 0
    while written < size:
        out.write(block)
        written += len(block.encode("utf-8"))
    out.write("</description>\n"
              "\t\t<Point><coordinates>116.391234,39.907654,0</coordinates></Point></Placemark>\n")
    out.write(DOCUMENT_TAIL)


WRITERS = {"track": write_track, "placemarks": write_placemarks,
           "line-bytes": write_line_bytes, "description": write_description}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--kind", choices=sorted(WRITERS), default="track")
    parser.add_argument("size", type=float)
    parser.add_argument("output")
    args = parser.parse_args()
    with open(args.output, "w", encoding="utf-8", newline="\n") as out:
        WRITERS[args.kind](out, int(args.size))


if __name__ == "__main__":
    main()
