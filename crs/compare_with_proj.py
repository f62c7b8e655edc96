#!/usr/bin/env python3
"""crs/ against PROJ and GDAL, through crs_probe, and kml2mif itself the same way.

Usage: compare_with_proj.py CRS_PROBE proj|gdal [--points N]
       compare_with_proj.py KML2MIF program-proj|program-gdal [--points N]

proj: for every accepted code, N random points (default 300) within the zone and 3 degrees
  beyond it (latitudes 0-60 N; China's rectangle for longitude/latitude systems), converted by
  crs_probe and by PROJ (GDAL's osr), with the code's definition from PROJ's database and, for
  Beijing 1954 and Xian 1980, a towgs84 with rotations of a few arc-seconds. WGS 84 and CGCS2000
  are compared forwards: ours within 1 mm (zones) or 1e-9 degrees of PROJ's. For Beijing 1954
  and Xian 1980 ours are taken back to WGS 84 by PROJ, which applies the towgs84 as given, and
  must land within 1 mm or 1e-9 degrees of the KML's point; PROJ's own forward direction
  inverts the rotations only to first order, so its distance from ours is printed, not judged.
  The automatic zones must give the codes of their zones, point for point.

gdal: MIF files made by crs_probe with each family's CoordSys clause are read by GDAL: the
  ellipsoid, the projection's parameters and the towgs84 (rotation signs included) must be the
  system's, and GDAL's transformation of the points back to WGS 84 must give the KML's points
  within 1e-7 degrees. A towgs84 with its rotations negated must miss by far more: the check
  can see a wrong sign.

program-proj: the same comparison with PROJ for every accepted code, judging what kml2mif
  writes (a KML of one placemark per point, converted with --coordsys and --towgs84, its MIF
  read back): the written texts within 1 mm or 1e-9 degrees of PROJ's (for Beijing 1954 and
  Xian 1980, taken back to WGS 84 by PROJ: within 1 mm or 1e-9 degrees of the KML's point). The
  points of the zones go through the program's grid; a tenth of them lie farther out (up to 10
  degrees beyond the grid, and north of it), where the exact path is taken. Then: a KML traced
  on a web map (GCJ-02, made here by the public formula from random points) converted with
  --from gcj02 into a zone, against PROJ's projection of the true points; published pairs of
  web-map and WGS 84 positions through --from; and the automatic zones: their output is byte
  for byte that of their zone's code, the zone is picked after the web map's shift is undone,
  and a document without points gets the zone of 105 E.

program-gdal: the gdal comparison above on what kml2mif writes.

Prints one line per family and exits 1 on any failure, 77 when GDAL's Python bindings are
missing.
"""
import math
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

try:
    from osgeo import ogr, osr
except ImportError:
    # The bindings come with the system's Python; another python3 may come first on PATH.
    if os.path.exists("/usr/bin/python3") and os.path.realpath(sys.executable) != \
            os.path.realpath("/usr/bin/python3") and not os.environ.get("KML2MIF_REEXEC"):
        os.environ["KML2MIF_REEXEC"] = "1"
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    print("skipped: GDAL's Python bindings (osgeo) are not installed")
    sys.exit(77)

osr.UseExceptions()
ogr.UseExceptions()

TOWGS84 = (24.47, -130.89, -81.56, 1.8, -2.9, 3.7, 5.2)
TOWGS84_TEXT = ",".join(repr(value) for value in TOWGS84)
MILLIMETRE = 1e-3
DEGREES = 1e-9
GDAL_DEGREES = 1e-7
# The zones' texts come from the grid, within this many metres of the exact values
# (Transformer::kGridError).
GRID_METRES = 1e-5
# MapInfo's ellipsoids as GDAL reads them: GRS 80 (0), Krassovsky (3), IAG 75 (31). MapInfo's
# IAG 75 has 298.257222 where Xian 1980's IAG 1975 has 298.257.
ELLIPSOIDS = {"GRS80": (6378137, 298.257222101), "krass": (6378245, 298.3),
              "IAU76": (6378140, 298.257222)}


def spatial_reference(proj4):
    srs = osr.SpatialReference()
    srs.ImportFromProj4(proj4)
    srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
    return srs


WGS84 = spatial_reference("+proj=longlat +datum=WGS84 +no_defs")


def proj_definition(epsg):
    """PROJ's definition of the code (from its database) and whether the datum is local."""
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(epsg)
    proj4 = srs.ExportToProj4()
    local = "+ellps=krass" in proj4 or "+ellps=IAU76" in proj4
    if local:
        proj4 += " +towgs84=" + TOWGS84_TEXT
    return proj4, local


def probe_points(probe, code, towgs84, points, lon_range=()):
    text = "".join(f"{lon!r} {lat!r}\n" for lon, lat in points)
    result = subprocess.run([probe, "points", code, towgs84, "wgs84", *map(repr, lon_range)],
                            input=text, capture_output=True, text=True, check=True)
    lines = result.stdout.splitlines()
    return lines[0], [line.split() for line in lines[1:]]


def ground_metres(lon, lat, other_lon, other_lat):
    """The distance between two close points, metres (a sphere's is precise enough here)."""
    radius = 6371000
    dx = math.radians(other_lon - lon) * math.cos(math.radians(lat)) * radius
    return math.hypot(dx, math.radians(other_lat - lat) * radius)


def random_points(rng, width, central, count):
    if width == 0:
        return [(rng.uniform(72, 138), rng.uniform(0, 56)) for _ in range(count)]
    reach = width / 2 + 3
    return [(rng.uniform(central - reach, central + reach), rng.uniform(0, 60))
            for _ in range(count)]


def family_name(epsg, width, false_easting, proj4):
    datum = ("Beijing 1954" if "krass" in proj4 else "Xian 1980" if "IAU76" in proj4
             else "WGS 84" if epsg == 4326 else "CGCS2000")
    if width == 0:
        return f"{datum} lon/lat"
    prefix = "zone-prefixed" if false_easting != 500000 else "central meridian"
    return f"{datum} {width}-degree zones, {prefix}"


def probe_codes(probe):
    """EPSG code: (zone width, central meridian, false easting), as crs_probe lists them."""
    lines = subprocess.run([probe, "codes"], capture_output=True, text=True,
                           check=True).stdout.splitlines()
    rows = [[int(float(field)) for field in line.split()] for line in lines]
    return {row[0]: tuple(row[1:]) for row in rows}


def compare_proj(probe, count):
    families = {}
    failures = 0
    for epsg, (width, central, false_easting) in probe_codes(probe).items():
        proj4, local = proj_definition(epsg)
        rng = random.Random(epsg)
        points = random_points(rng, width, central, count)
        header, ours = probe_points(probe, f"EPSG:{epsg}", TOWGS84_TEXT if local else "-",
                                    points)
        target = spatial_reference(proj4)
        forward = osr.CoordinateTransformation(WGS84, target).TransformPoints(points)
        exact = [(float(row[2]), float(row[3])) for row in ours]
        back = osr.CoordinateTransformation(target, WGS84).TransformPoints(exact)
        worst_forward = worst_back = worst_text = 0.0
        for (lon, lat), row, (x, y), theirs, returned in zip(points, ours, exact, forward, back):
            if width:
                worst_forward = max(worst_forward, math.hypot(x - theirs[0], y - theirs[1]))
                worst_back = max(worst_back, ground_metres(lon, lat, returned[0], returned[1]))
                worst_text = max(worst_text, abs(float(row[0]) - x), abs(float(row[1]) - y))
            else:
                worst_forward = max(worst_forward, abs(x - theirs[0]), abs(y - theirs[1]))
                worst_back = max(worst_back, abs(returned[0] - lon), abs(returned[1] - lat))
                worst_text = max(worst_text, abs(float(row[0]) - x), abs(float(row[1]) - y))
        limit = MILLIMETRE if width else DEGREES
        judged = worst_back if local else worst_forward
        ok = (header == f"EPSG:{epsg}" and len(ours) == len(points) and judged < limit and
              worst_text <= (limit / 2 + GRID_METRES if width else 5e-10 * 1.000001))
        if not ok:
            failures += 1
            print(f"FAIL EPSG:{epsg}: {header}, {len(ours)} points, forward {worst_forward:.3g},"
                  f" back {worst_back:.3g}, text {worst_text:.3g}")
        family = families.setdefault(family_name(epsg, width, false_easting, proj4),
                                     [0, 0, 0.0, 0.0, local, width])
        family[0] += 1
        family[1] += len(points)
        family[2] = max(family[2], worst_forward)
        family[3] = max(family[3], worst_back)
    for name, (codes_seen, points_seen, forward, back, local, width) in families.items():
        unit, scale = ("mm", 1000) if width else ("deg", 1)
        judged = "back through PROJ" if local else "forward against PROJ"
        print(f"{name}: {codes_seen} codes, {points_seen} points; judged {judged}; max "
              f"forward {forward * scale:.3g} {unit}, back {back * scale:.3g} {unit}")
    failures += compare_automatic_zones(probe)
    return failures


def compare_automatic_zones(probe):
    """cgcs2000-gk3/gk6 pick the zone of the middle of the range, and write as its code does."""
    failures = 0
    rng = random.Random(15)
    for code, lon_range, epsg in (("cgcs2000-gk3", (116.0, 118.9), 4527),
                                  ("cgcs2000-gk6", (100.5, 104.0), 4496)):
        points = [(rng.uniform(*lon_range), rng.uniform(20, 45)) for _ in range(50)]
        header, automatic = probe_points(probe, code, "-", points, lon_range)
        _, fixed = probe_points(probe, f"EPSG:{epsg}", "-", points)
        if header != f"EPSG:{epsg}" or automatic != fixed:
            failures += 1
            print(f"FAIL {code} over {lon_range}: {header}, expected EPSG:{epsg}")
    print(f"automatic zones: {2 - failures} of 2 as their codes")
    return failures


GDAL_CASES = [
    # code, towgs84
    ("cgcs2000", None),
    ("EPSG:4527", None),
    ("EPSG:4548", None),
    ("EPSG:4498", None),
    ("EPSG:4214", TOWGS84),
    ("EPSG:2401", TOWGS84),
    ("EPSG:21453", TOWGS84),
    ("EPSG:4610", TOWGS84),
    ("EPSG:2349", TOWGS84),
    ("EPSG:2338", TOWGS84),
]


def compare_gdal(probe, count, program=False):
    failures = 0
    codes = table_codes() if program else probe_codes(probe)
    with tempfile.TemporaryDirectory() as folder:
        for code, towgs84 in GDAL_CASES:
            epsg = 4490 if code == "cgcs2000" else int(code.split(":")[1])
            expected = osr.SpatialReference()
            expected.ImportFromEPSG(epsg)
            proj4 = expected.ExportToProj4()
            params = dict(token[1:].split("=", 1) for token in proj4.split() if "=" in token)
            projected = params["proj"] == "tmerc"
            width, central, _ = codes[epsg]
            points = random_points(random.Random(epsg), width, central, count)
            path = os.path.join(folder, str(epsg))
            towgs84_text = ",".join(map(repr, towgs84)) if towgs84 else "-"
            if program:
                program_points(probe, code, towgs84_text, points, path)
            else:
                text = "".join(f"{lon!r} {lat!r}\n" for lon, lat in points)
                subprocess.run([probe, "mif", path, code, towgs84_text], input=text, text=True,
                               check=True)
            with open(path + ".mif", encoding="ascii") as mif:
                clause = next(line.strip() for line in mif if line.startswith("CoordSys"))
            dataset = ogr.Open(path + ".mif")  # the layer lives as long as its dataset
            layer = dataset.GetLayer(0)
            srs = layer.GetSpatialRef()
            srs.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
            problems = []
            a, rf = ELLIPSOIDS[params["ellps"]]
            if abs(srs.GetSemiMajor() - a) > 1e-6 or abs(srs.GetInvFlattening() - rf) > 1e-9:
                problems.append(f"ellipsoid {srs.GetSemiMajor()} {srs.GetInvFlattening()}")
            if projected:
                for name, key in (("central_meridian", "lon_0"), ("latitude_of_origin", "lat_0"),
                                  ("scale_factor", "k"), ("false_easting", "x_0"),
                                  ("false_northing", "y_0")):
                    if srs.GetProjParm(name) != float(params[key]):
                        problems.append(f"{name} {srs.GetProjParm(name)}")
                if srs.GetAttrValue("PROJECTION") != "Transverse_Mercator":
                    problems.append(srs.GetAttrValue("PROJECTION"))
            try:
                read_towgs84 = tuple(srs.GetTOWGS84())
            except RuntimeError:  # none: the datum is taken as WGS 84's
                read_towgs84 = (0,) * 7
            if read_towgs84 != (towgs84 or (0,) * 7):
                problems.append(f"towgs84 {read_towgs84}")
            written = [feature.GetGeometryRef().GetPoint_2D() for feature in layer]
            back = osr.CoordinateTransformation(srs, WGS84).TransformPoints(written)
            worst = max(max(abs(b[0] - p[0]), abs(b[1] - p[1])) for b, p in zip(back, points))
            note = ""
            if params["ellps"] == "IAU76":
                # MapInfo has no ellipsoid of Xian 1980's flattening: on its IAG 75 the points
                # move by up to 1.5e-7 degrees (lon/lat) or 3e-8 (zones). With the true
                # ellipsoid put back, GDAL must find the KML's points.
                mapinfo_worst = worst
                true = spatial_reference(srs.ExportToProj4().replace("+rf=298.257222 ",
                                                                     "+rf=298.257 "))
                back = osr.CoordinateTransformation(true, WGS84).TransformPoints(written)
                worst = max(max(abs(b[0] - p[0]), abs(b[1] - p[1]))
                            for b, p in zip(back, points))
                note = f" (on MapInfo's IAG 75 itself within {mapinfo_worst:.3g} deg)"
                if mapinfo_worst >= 2e-7:
                    problems.append(f"on MapInfo's IAG 75 within {mapinfo_worst:.3g} deg")
            if worst >= GDAL_DEGREES or len(written) != len(points):
                problems.append(f"{len(written)} points back within {worst:.3g} deg")
            if towgs84:
                # The same check with the rotations turned the other way must fail clearly.
                wrong = osr.SpatialReference()
                wrong.ImportFromWkt(srs.ExportToWkt())
                wrong.SetTOWGS84(*towgs84[:3], *(-r for r in towgs84[3:6]), towgs84[6])
                wrong.SetAxisMappingStrategy(osr.OAMS_TRADITIONAL_GIS_ORDER)
                missed = osr.CoordinateTransformation(wrong, WGS84).TransformPoints(written)
                miss = min(max(abs(m[0] - p[0]), abs(m[1] - p[1]))
                           for m, p in zip(missed, points))
                if miss < 100 * GDAL_DEGREES:
                    problems.append(f"negated rotations also within {miss:.3g} deg")
            status = "FAIL " if problems else ""
            failures += bool(problems)
            print(f"{status}{code}: {clause}\n  GDAL: {srs.ExportToProj4()}\n  "
                  f"{len(written)} points back to WGS 84 within {worst:.3g} deg{note}"
                  + (f"; {'; '.join(problems)}" if problems else ""))
    return failures


# --- kml2mif itself ---------------------------------------------------------------------------

def table_codes():
    """EPSG code: (zone width, central meridian, false easting), from crs/codes.inc."""
    codes = {}
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "codes.inc"),
              encoding="utf-8") as table:
        for line in table:
            match = re.match(r"\{(\d+), Datum::\w+, [\d.]+, [\d.]+, (\d+), \d+, (\d+), ([\d.]+),",
                             line)
            if match:
                epsg, width, central, false_easting = match.groups()
                codes[int(epsg)] = (int(width), int(central), int(float(false_easting)))
    return codes


def program_points(kml2mif, code, towgs84, points, path, options=()):
    """Writes PATH.kml with a placemark per point, converts it with kml2mif and gives the
    CoordSys line and the points written, as texts."""
    with open(path + ".kml", "w", encoding="utf-8") as kml:
        kml.write("<kml><Document>\n")
        if not points:
            kml.write("<Placemark><name>no geometry</name></Placemark>\n")
        for lon, lat in points:
            kml.write(f"<Placemark><Point><coordinates>{lon!r},{lat!r}</coordinates></Point>"
                      "</Placemark>\n")
        kml.write("</Document></kml>\n")
    arguments = [kml2mif, "-q", "--charset", "Neutral", *options]
    if code:
        arguments += ["--coordsys", code]
    if towgs84 != "-":
        arguments += ["--towgs84", towgs84]
    subprocess.run(arguments + [path + ".kml"], check=True)
    clause, written = "", []
    with open(path + ".mif", encoding="utf-8") as mif:
        for line in mif:
            if line.startswith("CoordSys"):
                clause = line.strip()
            elif line.startswith("Point "):
                written.append(tuple(line.split()[1:3]))
    return clause, written


def gcj02_from_wgs84(lon, lat):
    """The public GCJ-02 formula, as it is usually written, inside its rectangle."""
    x, y = lon - 105.0, lat - 35.0
    north = (-100.0 + 2.0 * x + 3.0 * y + 0.2 * y * y + 0.1 * x * y + 0.2 * math.sqrt(abs(x)) +
             (20.0 * math.sin(6.0 * x * math.pi) + 20.0 * math.sin(2.0 * x * math.pi)) * 2 / 3 +
             (20.0 * math.sin(y * math.pi) + 40.0 * math.sin(y / 3.0 * math.pi)) * 2 / 3 +
             (160.0 * math.sin(y / 12.0 * math.pi) + 320 * math.sin(y * math.pi / 30.0)) * 2 / 3)
    east = (300.0 + x + 2.0 * y + 0.1 * x * x + 0.1 * x * y + 0.1 * math.sqrt(abs(x)) +
            (20.0 * math.sin(6.0 * x * math.pi) + 20.0 * math.sin(2.0 * x * math.pi)) * 2 / 3 +
            (20.0 * math.sin(x * math.pi) + 40.0 * math.sin(x / 3.0 * math.pi)) * 2 / 3 +
            (150.0 * math.sin(x / 12.0 * math.pi) + 300.0 * math.sin(x / 30.0 * math.pi)) * 2 / 3)
    e2, a = 0.00669342162296594323, 6378245.0
    radians = lat / 180.0 * math.pi
    magic = 1 - e2 * math.sin(radians) ** 2
    return (lon + east * 180.0 / (a / math.sqrt(magic) * math.cos(radians) * math.pi),
            lat + north * 180.0 / (a * (1 - e2) / (magic * math.sqrt(magic)) * math.pi))


def judge_written(epsg, local, width, points, written, proj4):
    """The largest distance of the written texts from PROJ's (metres or degrees): forward for
    WGS 84 and CGCS2000, back to the KML's points for the local datums."""
    target = spatial_reference(proj4)
    values = [(float(x), float(y)) for x, y in written]
    worst = 0.0
    if local:
        back = osr.CoordinateTransformation(target, WGS84).TransformPoints(values)
        for (lon, lat), returned in zip(points, back):
            worst = max(worst, ground_metres(lon, lat, returned[0], returned[1]) if width else
                        max(abs(returned[0] - lon), abs(returned[1] - lat)))
    else:
        forward = osr.CoordinateTransformation(WGS84, target).TransformPoints(points)
        for (x, y), theirs in zip(values, forward):
            worst = max(worst, math.hypot(x - theirs[0], y - theirs[1]) if width else
                        max(abs(x - theirs[0]), abs(y - theirs[1])))
    return worst


def compare_program_proj(kml2mif, count):
    failures = 0
    families = {}
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "points")
        for epsg, (width, central, false_easting) in table_codes().items():
            proj4, local = proj_definition(epsg)
            rng = random.Random(epsg)
            points = random_points(rng, width, central, count)
            if width:
                # Beyond the grid (the zone and 3 degrees beyond it, 80 S to 84 N): exact.
                reach = width / 2 + 3
                points += [(central + rng.choice((-1, 1)) * rng.uniform(reach, reach + 10),
                            rng.uniform(0, 60)) for _ in range(count // 20)]
                points += [(central + rng.uniform(-reach, reach), rng.uniform(84, 85))
                           for _ in range(count // 20)]
            clause, written = program_points(kml2mif, f"EPSG:{epsg}",
                                             TOWGS84_TEXT if local else "-", points, path)
            worst = judge_written(epsg, local, width, points, written, proj4)
            limit = MILLIMETRE if width else DEGREES
            if len(written) != len(points) or not worst < limit or not clause:
                failures += 1
                print(f"FAIL EPSG:{epsg}: {len(written)} of {len(points)} points, within "
                      f"{worst:.3g}; {clause}")
            family = families.setdefault(family_name(epsg, width, false_easting, proj4),
                                         [0, 0, 0.0, width, local])
            family[0] += 1
            family[1] += len(points)
            family[2] = max(family[2], worst)
        for name, (codes_seen, points_seen, worst, width, local) in families.items():
            unit, scale = ("mm", 1000) if width else ("deg", 1)
            judged = "back to the KML through PROJ" if local else "against PROJ"
            print(f"kml2mif {name}: {codes_seen} codes, {points_seen} points; written texts "
                  f"{judged} within {worst * scale:.3g} {unit}")
        failures += compare_program_web_maps(kml2mif, path, count)
        failures += compare_program_automatic_zones(kml2mif, folder)
    return failures


# Published pairs of WGS 84 and web-map positions (crs/web_map_test.cpp names their sources):
# the web map's position, --from, the WGS 84 position.
WEB_MAP_PAIRS = [
    ((121.531541859215, 31.17530398364597), "gcj02", (121.5272106, 31.1774276)),
    ((113.9171764808363, 22.540796131694766), "gcj02", (113.912316, 22.543847)),
    ((116.38404722455657, 39.91334545536069), "gcj02", (116.377817, 39.911954)),
    ((116.41024449916938, 39.91640428150164), "gcj02", (116.404, 39.915)),
]


def compare_program_web_maps(kml2mif, path, count):
    failures = 0
    # Points traced on a GCJ-02 map, written in zone 39: PROJ's projection of the true points.
    rng = random.Random(2)
    truth = [(rng.uniform(114, 120), rng.uniform(20, 50)) for _ in range(count)]
    traced = [gcj02_from_wgs84(lon, lat) for lon, lat in truth]
    proj4, _ = proj_definition(4527)
    clause, written = program_points(kml2mif, "EPSG:4527", "-", traced, path,
                                     ("--from", "gcj02"))
    worst = judge_written(4527, False, 3, truth, written, proj4)
    ok = len(written) == len(truth) and worst < MILLIMETRE
    failures += not ok
    print(f"{'FAIL ' if not ok else ''}kml2mif --from gcj02 --coordsys EPSG:4527: {len(written)}"
          f" points within {worst * 1000:.3g} mm of PROJ's projection of the true points")
    # Published pairs.
    for (lon, lat), source, (true_lon, true_lat) in WEB_MAP_PAIRS:
        _, written = program_points(kml2mif, None, "-", [(lon, lat)], path, ("--from", source))
        miss = max(abs(float(written[0][0]) - true_lon), abs(float(written[0][1]) - true_lat))
        ok = miss <= DEGREES + 5e-10  # the inverse's tolerance and the ninth decimal's rounding
        failures += not ok
        print(f"{'FAIL ' if not ok else ''}kml2mif --from {source} {lon} {lat}: "
              f"{' '.join(written[0])}, {miss:.2g} deg from {true_lon} {true_lat}")
    return failures


def compare_program_automatic_zones(kml2mif, folder):
    failures = 0
    rng = random.Random(16)

    def converted(name, points, *options):
        path = os.path.join(folder, name)
        clause, _ = program_points(kml2mif, None, "-", points, path, options)
        with open(path + ".mif", "rb") as mif, open(path + ".mid", "rb") as mid:
            return clause, mif.read() + mid.read()

    # A GCJ-02 point at 114.003 E is at 113.998 E in WGS 84: zone 19, not the raw text's 20.
    cases = [
        ([(rng.uniform(116.0, 118.9), rng.uniform(20, 45)) for _ in range(200)], (), "cgcs2000-gk3",
         "EPSG:4527"),
        ([(rng.uniform(100.5, 104.0), rng.uniform(20, 45)) for _ in range(200)], (), "cgcs2000-gk6",
         "EPSG:4496"),
        ([(114.003, 30.0)], ("--from", "gcj02"), "cgcs2000-gk6", "EPSG:4497"),
        ([], (), "cgcs2000-gk3", "EPSG:4523"),
        ([], (), "cgcs2000-gk6", "EPSG:4496"),
    ]
    for points, options, automatic, code in cases:
        clause, ours = converted("auto", points, *options, "--coordsys", automatic)
        expected_clause, theirs = converted("code", points, *options, "--coordsys", code)
        ok = ours == theirs
        failures += not ok
        print(f"{'FAIL ' if not ok else ''}kml2mif --coordsys {automatic} {' '.join(options)} "
              f"over {len(points)} points: {clause}, expected as {code}")
    return failures


def main():
    modes = ("proj", "gdal", "program-proj", "program-gdal")
    if len(sys.argv) < 3 or sys.argv[2] not in modes:
        print(__doc__)
        return 2
    probe = sys.argv[1]
    count = int(sys.argv[sys.argv.index("--points") + 1]) if "--points" in sys.argv else 300
    mode = sys.argv[2]
    if mode == "proj":
        failures = compare_proj(probe, count)
    elif mode == "gdal":
        failures = compare_gdal(probe, 20)
    elif mode == "program-proj":
        failures = compare_program_proj(probe, count)
    else:
        failures = compare_gdal(probe, 20, program=True)
    print(f"{'FAILED' if failures else 'passed'}: {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
