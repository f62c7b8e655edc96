#!/usr/bin/env python3
"""Writes a KML file whose track is one coordinate line of N points, as map viewers write it.

Usage: make_kml.py POINTS OUTPUT

The points are a seeded random walk around Beijing with six decimals and altitude 0, so the
file is the same on every run.
"""
import random
import sys

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


def main():
    points, output = int(sys.argv[1]), sys.argv[2]
    rng = random.Random(points)
    lon, lat = 116.391234, 39.907654
    with open(output, "w", encoding="ascii", newline="\n") as out:
        out.write(HEAD)
        chunk = []
        for _ in range(points):
            lon += rng.uniform(-0.0002, 0.0002)
            lat += rng.uniform(-0.0002, 0.0002)
            chunk.append("%.6f,%.6f,0 " % (lon, lat))
            if len(chunk) == 100000:
                out.write("".join(chunk))
                chunk = []
        out.write("".join(chunk))
        out.write(TAIL)


if __name__ == "__main__":
    main()
