#!/usr/bin/env python3
"""Fails when two folders of gateway/ include each other, when the vocabulary (model/) includes
any other folder, or when a front end (web/, smpp/) includes anything of the engine beyond the
vocabulary. Usage: check_layers.py SOURCE_DIR"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# Where a quoted include is looked for: beside the file, then the include folders the libraries
# declare (gateway/ for all, web/ and smpp/ for their own users).
ROOTS = ['', 'web/', 'smpp/']
FRONT_ENDS = {'web', 'smpp'}
FRONT_END_MAY_INCLUDE = {'model', 'web', 'smpp'}


def sources(gateway):
    found = {}
    for folder, _, names in os.walk(gateway):
        for name in names:
            if name.endswith(('.h', '.cpp')):
                path = os.path.join(folder, name)
                found[os.path.relpath(path, gateway)] = path
    return found


def top(relative):
    parts = relative.split('/')
    return parts[0] if len(parts) > 1 else '.'


def arrows(gateway):
    files = sources(gateway)
    found = {}
    for relative, path in files.items():
        with open(path, encoding='utf-8', errors='replace') as f:
            text = f.read()
        for written in INCLUDE.findall(text):
            beside = os.path.normpath(os.path.join(os.path.dirname(relative), written))
            for candidate in [beside] + [root + written for root in ROOTS]:
                if candidate in files:
                    if top(candidate) != top(relative):
                        found.setdefault((top(relative), top(candidate)), relative + ' -> ' + written)
                    break
    return found


def main():
    gateway = os.path.join(sys.argv[1], 'gateway')
    found = arrows(gateway)
    faults = []
    for (a, b), example in sorted(found.items()):
        if a < b and (b, a) in found:
            faults.append(f'{a}/ and {b}/ include each other: {example}; {found[(b, a)]}')
        if a == 'model':
            faults.append(f'the vocabulary includes {b}/: {example}')
        if a in FRONT_ENDS and b not in FRONT_END_MAY_INCLUDE:
            faults.append(f'the front end {a}/ includes the engine\'s {b}/: {example}')
    if not found:
        faults.append('no includes between folders were found: is ' + gateway + ' the tree?')
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == '__main__':
    sys.exit(main())
