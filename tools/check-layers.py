#!/usr/bin/env python3
"""Checks that no library of the program includes a header of a library above it.

usage: check-layers.py SOURCE_DIR BUILD_DIR

Which library is above which comes from the target_link_libraries lines of src/; which header
belongs to which library from its add_library list; what each object file really included from
the build's own dependency records (ninja -t deps). Exits 1 naming every include that runs
upwards."""
import collections
import os
import re
import subprocess
import sys

source, build = sys.argv[1], sys.argv[2]
links = collections.defaultdict(set)
owner = {}
for root, _, files in os.walk(os.path.join(source, 'src')):
    if 'CMakeLists.txt' not in files:
        continue
    text = re.sub(r'#.*', '', open(os.path.join(root, 'CMakeLists.txt'), encoding='utf-8').read())
    for m in re.finditer(r'add_library\((\w+)([^)]*)\)', text):
        for header in re.findall(r'[\w/]+\.h\b', m.group(2)):
            owner[os.path.realpath(os.path.join(root, header))] = m.group(1)
    for m in re.finditer(r'target_link_libraries\((\w+)([^)]*)\)', text):
        links[m.group(1)].update(re.findall(r'\bk27_\w+', m.group(2)))


def below(library, seen=None):
    seen = set() if seen is None else seen
    for used in links.get(library, ()):
        if used not in seen:
            seen.add(used)
            below(used, seen)
    return seen


deps = subprocess.run(['ninja', '-C', build, '-t', 'deps'], capture_output=True, text=True, check=True).stdout
upward = set()
library = None
for line in deps.split('\n'):
    started = re.match(r'^(\S+\.o): #deps', line)
    if started:
        found = re.search(r'CMakeFiles/(k27_\w+)\.dir/', started.group(1))
        library = found.group(1) if found else None
        continue
    if library and line.strip():
        header = owner.get(os.path.realpath(os.path.join(build, line.strip())))
        if header and header != library and header not in below(library):
            upward.add(f'{library} includes {os.path.relpath(os.path.join(build, line.strip()), source)} of {header}')
for line in sorted(upward):
    print(line)
print(f'{len(set(owner.values()))} libraries, {len(upward)} includes running upwards')
sys.exit(1 if upward else 0)
