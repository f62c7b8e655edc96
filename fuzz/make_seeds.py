#!/usr/bin/env python3
"""Writes the hand-made seeds of every fuzz target into fuzz/corpus/<target>/.

The other files there (named by their SHA-1) are inputs that fuzzing found to reach new code,
merged in with `fuzz_<target> -merge=1 fuzz/corpus/<target> <new inputs>`.

Each seed starts with the header bytes its target reads (see the comment at the top of each
fuzz_<target>.cpp and fuzz::InflatedContent), followed by the bytes of the file or string.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
GBK = '北京路线'.encode('gbk')
UTF8 = '北京路线'.encode('utf-8')
KML = (b'<?xml version="1.0" encoding="UTF-8"?>\r\n'
       b'<kml xmlns="http://www.opengis.net/kml/2.2">\r\n'
       b'<Document>\r\n\t<Placemark>\r\n\t\t<name>route</name>\r\n\t\t<LineString>\r\n'
       b'\t\t\t<coordinates>\r\n\t\t\t\t116.391,39.907,0 116.392,39.908,0 \r\n'
       b'\t\t\t</coordinates>\r\n\t\t</LineString>\r\n\t</Placemark>\r\n</Document>\r\n'
       b'</kml>\r\n')

# fuzz::InflatedContent: a run of filler bytes of half the reader's buffer, the buffer, or one
# and a half, less `short` bytes.
HALF, FULL, ONE_AND_A_HALF = 29, 30, 31
FILLERS = b'x \t,01\r<ce>\xb0\xe4'


def inflate(size=None, short=0, filler=b'x', at=0):
    if size is None:
        return bytes([0, 0, 0])
    return bytes([size | (short << 5), FILLERS.index(filler), at])


def write(target, name, data):
    with open(os.path.join(HERE, 'corpus', target, name), 'wb') as f:
        f.write(data)


def line_reader():
    # seek line, seek skip, then the inflated content
    plain = {
        'empty': b'',
        'lf_lines': b'abc\ndef\n\nlast',
        'crlf_lines': b'abc\r\ndef\r\n\r\nlast\r\n',
        'lone_cr': b'a\rb\r\r\nc\r',
        'ctrl_z': b'one\r\ntwo\x1athree\r\n',
        'nul_bytes': b'a\x00b\r\n\x00\n\x00',
        'kml_crlf': KML,
        'kml_lf': KML.replace(b'\r\n', b'\n'),
        'gbk_text': GBK + b'\r\n' + GBK + b'\r' + GBK,
        'utf8_text': UTF8 + b'\n\xe4\xb8\n\xff\xfe\r\n',
    }
    for name, content in plain.items():
        write('line_reader', name, bytes([1, 3]) + inflate() + content)
    # A long first line one byte short of a buffer size: its CR is the buffer's last byte.
    write('line_reader', 'crlf_at_half_buffer', bytes([0, 0]) + inflate(HALF, 1) + b'\r\nnext\r\n')
    write('line_reader', 'crlf_at_buffer', bytes([0, 0]) + inflate(FULL, 1) + b'\r\nnext\r\n')
    write('line_reader', 'crlf_after_refill',
          bytes([1, 7]) + inflate(ONE_AND_A_HALF, 1) + b'\r\nnext\r\n')
    write('line_reader', 'cr_run_at_buffer',
          bytes([0, 9]) + inflate(FULL, 2, b'\r', 2) + b'ab\ncd\r\n')
    write('line_reader', 'line_ends_across_buffer',
          bytes([0, 200]) + inflate(ONE_AND_A_HALF, 0, b'\r', 3) + b'abc\r\ndef\n')
    write('line_reader', 'ctrl_z_after_buffer', bytes([0, 1]) + inflate(FULL, 3) + b'ab\x1a\r\n')


def cstring():
    # flags (bit 0: UTF-8, else GBK; the rest: Find's start), the lengths of the pattern, the
    # replacement and the trim set, then the three of them and the text
    def seed(name, flags, pattern, replacement, targets, text):
        write('cstring', name, bytes([flags, len(pattern), len(replacement), len(targets)]) +
              pattern + replacement + targets + text)
    line = b'\t\t116.391,39.907,0 116.392,39.908,0 </coordinates>'
    seed('point_end_gbk', 0, b',0 ', b'\n', b'</coordinates>', line)
    seed('point_end_utf8', 1, b',0 ', b'\n', b'</coordinates>', line)
    seed('comma_gbk', 2, b',', b' ', b'</coordinates>', b'</Point>' + line)
    seed('tag_after_lead_gbk', 4, b'<coordi', b'', b'<>', b'\x81<coordinates>\x81c' + GBK)
    seed('gbk_trail_is_letter', 0, b'c', b'xy', b'c', '路c'.encode('gbk') + b'\x81cc')
    seed('utf8_split', 1, b'\xe4', b'?', b'\xbf', UTF8 + b'\xe4\xbf' + UTF8[:2])
    seed('utf8_chars', 1, '京'.encode(), b'-', '北线'.encode(), UTF8 + b'x' + UTF8)
    seed('gbk_chars', 0, '京'.encode('gbk'), b'-', '北线'.encode('gbk'), GBK + b'x' + GBK)
    seed('nul', 3, b'\x00', b'\x00\x00', b'\x00', b'\x00a\x00\xb1\x00')
    seed('overlap', 0, b'aa', b'a', b'a', b'aaaaa')
    seed('invalid_utf8', 1, b'\xed\xa0', b'!', b'\xc0\x80',
         b'\xed\xa0\x80\xc0\x80\xf4\x90\x80\x80\xf0\x9f\x98\x80')
    seed('find_start_inside_char', 9, b'A', b'', b'', b'\x81A\x81AA')


def coordinate_scan():
    # flags (bit 0: UTF-8, else GBK), four bytes seeding the cuts, then the inflated content
    def seed(name, flags, content, inflation=inflate(), cuts=b'\x12\x34\x56\x78'):
        write('coordinate_scan', name, bytes([flags]) + cuts + inflation + content)
    seed('kml_crlf', 0, KML)
    seed('kml_lf_utf8', 1, KML.replace(b'\r\n', b'\n'), cuts=b'\x00\x00\x00\x01')
    seed('closing_tag_same_line', 0, b'<coordinates>\n\t\t1,2,0 3,4,0 </coordinates>\n')
    seed('tuples_on_tag_line', 0, b'<coordinates>1,2,0 3,4,0 \n\t\t</LineString>\n')
    seed('no_indent_closing', 1, b'<coordinates>\n</Point>\n')
    seed('empty_list', 0, b'\t<coordinates>\n\t\t</coordinates>\n')
    seed('empty_line_after', 0, b'<coordinates>\n\n1,2,0 \n')
    seed('no_coordinates', 0, b'<kml>\n<Point>1,2,0 </Point>\n</kml>')
    seed('tag_last_line', 0, b'<a>\n<coordinates>')
    seed('altitude_25', 0, b'<coordinates>\n116.391,39.907,25 116.392,39.908,25 \n')
    seed('last_without_blank', 0, b'<coordinates>\n116.391,39.907,0 116.392,39.908,0\n')
    seed('latitude_zero', 1, b'<coordinates>\n10,0,0 116.3,0 \n')
    seed('capital_tag', 0, b'<COORDINATES>\n1,2,0 \n')
    seed('several_tags', 0, b'<coordinates>\n<coordinates>\n1,2,0 \n<coordinates>\n5,6,0 \n')
    seed('gbk_lead_before_set', 0, b'<coordinates>\n1,2,0 \x81c\x81<\r\n')
    seed('utf8_around', 1, b'<coordinates>\n' + UTF8 + b'1,2,0 3,4,0 ' + UTF8 +
         b'</coordinates>\n')
    seed('lone_cr_ctrl_z', 0, b'<coordinates>\r\n1,2,0 \r3,4,0 \x1a5,6,0 \r\n')
    seed('line_without_end', 1, b'<coordinates>\n1,2,0 3,4,0')
    seed('long_line_half_buffer', 0, b'<coordinates>\n1,2,0 3,4,0 \n', inflate(HALF, 0, b' ', 14))
    seed('point_end_at_buffer', 0, b'<coordinates>\n,0 ,0 ,0 ,0 \n', inflate(FULL, 2, b'0', 14))
    seed('trim_run_after_refill', 1, b'<coordinates>\n1,2,0 </coordinates>\n',
         inflate(ONE_AND_A_HALF, 0, b'e', 21))
    seed('trim_head_half_buffer', 0, b'<coordinates>\n</coordinates>1,2,0 \n',
         inflate(HALF, 1, b'c', 14))
    seed('tag_across_buffer', 0, b'<coordinates>\n1,2,0 \n', inflate(FULL, 5))


def kml():
    """The full conversion: a charset byte, then the file (KML in several encodings, a KMZ)."""
    import io
    import zipfile
    doc = ('<?xml version="1.0" encoding="UTF-8"?>\n'
           '<kml xmlns="http://www.opengis.net/kml/2.2" '
           'xmlns:gx="http://www.google.com/kml/ext/2.2"><Document>'
           '<Style id="s"><LineStyle><color>ff0000ff</color><width>2</width></LineStyle>'
           '<PolyStyle><fill>0</fill></PolyStyle><IconStyle><scale>1.5</scale></IconStyle></Style>'
           '<StyleMap id="m"><Pair><key>normal</key><styleUrl>#s</styleUrl></Pair></StyleMap>'
           '<Folder><name>北京</name><Placemark><name>点 &amp; "x"</name>'
           '<description><![CDATA[<b>a</b>\nb]]></description><styleUrl>#m</styleUrl>'
           '<ExtendedData><Data name="面积"><value>12</value></Data>'
           '<SchemaData><SimpleData name="n">1.5</SimpleData></SchemaData></ExtendedData>'
           '<Point><coordinates>116.39,39.9,0</coordinates></Point></Placemark></Folder>'
           '<Placemark><LineString><coordinates>1,2 3,4\n\t5 , 6 bad 7,8,9,10</coordinates>'
           '</LineString></Placemark>'
           '<Placemark><Polygon><outerBoundaryIs><LinearRing><coordinates>0,0 1,0 1,1 0,0'
           '</coordinates></LinearRing></outerBoundaryIs><innerBoundaryIs><LinearRing>'
           '<coordinates>0,0 0,0 0,0</coordinates></LinearRing></innerBoundaryIs></Polygon>'
           '</Placemark>'
           '<Placemark><MultiGeometry><Point><coordinates>1,1</coordinates></Point>'
           '<MultiGeometry><LineString><coordinates>1,1 2,2</coordinates></LineString>'
           '</MultiGeometry></MultiGeometry></Placemark>'
           '<Placemark><gx:Track><when>2020</when><gx:coord>1 2 3</gx:coord></gx:Track>'
           '<TimeSpan><begin>1</begin><end>2</end></TimeSpan></Placemark>'
           '<Placemark><Model><Location><longitude>1</longitude><latitude>2</latitude>'
           '</Location></Model></Placemark><GroundOverlay/><NetworkLink/>'
           '</Document></kml>\n')
    write('kml', 'utf8', bytes([0]) + doc.encode('utf-8'))
    write('kml', 'utf8_bom', bytes([1]) + b'\xef\xbb\xbf' + doc.encode('utf-8'))
    write('kml', 'utf16le', bytes([2]) + b'\xff\xfe' + doc.replace('UTF-8', 'UTF-16')
          .encode('utf-16-le'))
    write('kml', 'gbk', bytes([3]) + doc.replace('UTF-8', 'GBK').encode('gbk'))
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, 'w', zipfile.ZIP_DEFLATED) as archive:
        archive.writestr('files/x.txt', 'x')
        archive.writestr('doc.kml', doc)
    write('kml', 'kmz', bytes([0]) + buffer.getvalue())
    write('kml', 'not_kml', bytes([0]) + b'<html><body>1,2</body></html>')
    write('kml', 'bad_xml', bytes([0]) + b'<kml><Placemark></kml>')


if __name__ == '__main__':
    for target, make in (('line_reader', line_reader), ('cstring', cstring),
                         ('coordinate_scan', coordinate_scan), ('kml', kml)):
        os.makedirs(os.path.join(HERE, 'corpus', target), exist_ok=True)
        make()
