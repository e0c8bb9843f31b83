#!/usr/bin/env python3
"""Reads XML files with Kel, writes them back, and compares what a standard reader (expat) reads from
Kel's text with what it reads from the original. Prints the counts of each outcome.

    xml_compare.py --kel build/examples/example_xml [--list] [--expected] PATH...

PATH is a file or a folder (searched recursively for *.xml, *.conf, *.policy, *.svg, *.xsd, *.xsl,
*.gschema.xml, *.desktop-less XML files...: every file whose text starts like XML). Files that expat does
not read as well-formed are counted apart and not compared. --list prints each file that is not "same
content"; --expected writes NAME.content beside each file: its content as expat reads it (what the C++
real-file test compares with Kel's reading).

Content is compared as the XML interop issue defines it: the same elements in the same order, with the same
attributes in the same order and the same character data (CDATA counted as text), where each run of white
space counts as one blank, white space at the ends of a text run is ignored, and a run of white space alone is
no text at all; comments, processing instructions and the DOCTYPE are not compared. A text run is the
character data between two tags of elements. Attribute values are compared as the reader gives them.
"""

import os
import re
import subprocess
import sys
import tempfile
import xml.parsers.expat

SUFFIXES = ('.xml', '.conf', '.policy', '.svg', '.xsd', '.xsl', '.xslt', '.rng', '.page', '.ui', '.metainfo',
            '.kml', '.plist', '.xbel', '.xspf', '.pom', '.glade', '.its', '.loc', '.dtd-less')
BLANKS = re.compile(r'[ \t\r\n]+')


def content(data):
    """The content of a document as a list of lines, or None when expat does not read it."""
    lines = []
    run = []

    def flush():
        text = BLANKS.sub(' ', ''.join(run)).strip(' ')
        if text:
            lines.append('"' + text)
        run.clear()

    def start(name, attributes):
        flush()
        lines.append('(' + name)
        for i in range(0, len(attributes), 2):
            lines.append('@' + attributes[i] + '=' + re.sub(r'[\t\r\n]', ' ', attributes[i + 1]))

    def end(name):
        flush()
        lines.append(')')

    parser = xml.parsers.expat.ParserCreate()
    parser.ordered_attributes = True
    parser.buffer_text = True
    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = run.append
    # Internal entities are expanded; external ones are never fetched.
    parser.SetParamEntityParsing(xml.parsers.expat.XML_PARAM_ENTITY_PARSING_NEVER)
    try:
        parser.Parse(data, True)
    except (xml.parsers.expat.ExpatError, ValueError):
        return None
    return lines


def candidates(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    if name.endswith(SUFFIXES):
                        yield os.path.join(folder, name)
        else:
            yield path


def main(argv):
    kel = None
    listing = False
    expected = False
    paths = []
    args = iter(argv)
    for arg in args:
        if arg == '--kel':
            kel = next(args)
        elif arg == '--list':
            listing = True
        elif arg == '--expected':
            expected = True
        else:
            paths.append(arg)
    if not kel or not paths:
        print(__doc__, file=sys.stderr)
        return 2

    counts = {'same content': 0, "Kel's output is not well-formed XML": 0,
              'both read, content silently different': 0, 'Kel refused the file': 0,
              'Kel cannot write it back': 0, 'refers to an external entity (refused on purpose)': 0,
              'not read by expat (not compared)': 0}
    with tempfile.TemporaryDirectory() as scratch:
        out = os.path.join(scratch, 'out.xml')
        for path in candidates(paths):
            try:
                with open(path, 'rb') as f:
                    original = f.read()
            except OSError:
                continue
            if not original.lstrip()[:1] == b'<':
                continue
            want = content(original)
            if want is None:
                counts['not read by expat (not compared)'] += 1
                continue
            if expected:
                with open(path + '.content', 'wb') as f:
                    f.write(('\n'.join(want) + '\n').encode('utf-8'))
            status = subprocess.run([kel, path, out], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE).returncode
            if status == 2:
                outcome = 'Kel refused the file'
            elif status == 4:
                outcome = 'refers to an external entity (refused on purpose)'
            elif status != 0:
                outcome = 'Kel cannot write it back'
            else:
                with open(out, 'rb') as f:
                    got = content(f.read())
                if got is None:
                    outcome = "Kel's output is not well-formed XML"
                elif got != want:
                    outcome = 'both read, content silently different'
                else:
                    outcome = 'same content'
            counts[outcome] += 1
            if listing and outcome != 'same content':
                print('%s: %s' % (outcome, path))

    for outcome, n in counts.items():
        print('%6d  %s' % (n, outcome))
    compared = (sum(counts.values()) - counts['not read by expat (not compared)'] -
                counts['refers to an external entity (refused on purpose)'])
    return 0 if counts['same content'] == compared else 1


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
