#!/usr/bin/python3
"""Keeps the help-desk guides in step with the program and with each other.

    check_guides.py --messages core/messages.h --screens docs/screens [--self-test] GUIDE...

Each guide must quote every message text of core/messages.h exactly, must show
every picture in the screens folder, and must link no picture that is missing.
All guides must have the same section structure: the same headings, level by
level, in the same order (the titles are in different languages, so only the
levels are compared). Every guide must link each of the others near its top.

With --self-test, after the guides themselves pass, the same checks are run on
damaged copies written to a temporary folder (a section removed, a message text
removed, a picture removed, a picture file missing, a heading level changed, the
link to the other guide removed); each copy must fail with a message naming its
fault, so a checker that stopped seeing one of these faults fails here.

Exit code 0 when everything holds, 1 otherwise; each fault is printed.
"""

import argparse
import os
import re
import shutil
import sys
import tempfile

# A message constant: `inline constexpr wchar_t NAME[] = L"..." L"...";`
MESSAGE = re.compile(r'wchar_t\s+(\w+)\s*\[\s*\]\s*=\s*((?:L"(?:[^"\\]|\\.)*"\s*)+);')
LITERAL = re.compile(r'L"((?:[^"\\]|\\.)*)"')
ESCAPES = {'\\"': '"', "\\\\": "\\", "\\n": "\n", "\\t": "\t"}

HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
FENCE = re.compile(r"^\s*(```|~~~)")
# Markdown links and images: ![alt](target) or [text](target).
LINK = re.compile(r"(!?)\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
# How far down a guide the link to the other guides must appear.
TOP_LINES = 5


def read_messages(header_path):
    """Returns [(name, text)] for every wide string constant in the header."""
    with open(header_path, encoding="utf-8") as f:
        source = f.read()
    messages = []
    for name, literals in MESSAGE.findall(source):
        text = "".join(LITERAL.findall(literals))
        text = re.sub(r"\\.", lambda m: ESCAPES.get(m.group(0), m.group(0)), text)
        messages.append((name, text))
    return messages


def markdown_lines(text):
    """Yields (line number, line) outside fenced code blocks."""
    fenced = False
    for number, line in enumerate(text.splitlines(), start=1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, line


def headings(text):
    """Returns [(line number, level, title)] of the ATX headings."""
    found = []
    for number, line in markdown_lines(text):
        match = HEADING.match(line)
        if match:
            found.append((number, len(match.group(1)), match.group(2)))
    return found


def links(text):
    """Returns [(line number, is_image, target)] of inline links and images."""
    found = []
    for number, line in markdown_lines(text):
        for match in LINK.finditer(line):
            found.append((number, match.group(1) == "!", match.group(2)))
    return found


def is_local_picture(target):
    return "://" not in target and target.lower().split("#")[0].endswith(".png")


def check_guide(path, messages, screens_dir):
    """Returns the faults of one guide on its own."""
    faults = []
    name = os.path.basename(path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    for constant, message in messages:
        if message not in text:
            faults.append(f"{name}: lacks the message text of {constant}: {message}")
    guide_dir = os.path.dirname(os.path.abspath(path))
    shown = set()
    for number, is_image, target in links(text):
        if not is_local_picture(target):
            continue
        picture = os.path.normpath(os.path.join(guide_dir, target.split("#")[0]))
        if not os.path.isfile(picture):
            faults.append(f"{name}:{number}: links a missing picture {target}")
        elif is_image:
            shown.add(picture)
    for picture in sorted(os.listdir(screens_dir)):
        if not picture.lower().endswith(".png"):
            continue
        full = os.path.normpath(os.path.join(os.path.abspath(screens_dir), picture))
        if full not in shown:
            faults.append(f"{name}: does not show the picture {picture}")
    return faults


def structure_faults(paths):
    """Returns the differences between the guides' heading levels, against the first."""
    faults = []
    outlines = []
    for path in paths:
        with open(path, encoding="utf-8") as f:
            outlines.append(headings(f.read()))
    first_name = os.path.basename(paths[0])
    first = outlines[0]
    for path, outline in zip(paths[1:], outlines[1:]):
        name = os.path.basename(path)
        if [level for _, level, _ in outline] == [level for _, level, _ in first]:
            continue
        for index in range(max(len(first), len(outline))):
            a = first[index] if index < len(first) else None
            b = outline[index] if index < len(outline) else None
            if a is None or b is None or a[1] != b[1]:
                describe = lambda h: "nothing" if h is None else f"line {h[0]} {'#' * h[1]} {h[2]}"
                faults.append(
                    f"section structure differs: heading {index + 1} is {describe(a)} "
                    f"in {first_name} but {describe(b)} in {name} "
                    f"({len(first)} headings against {len(outline)})")
                break
    return faults


def cross_link_faults(paths):
    """Every guide must link each of the others within its first lines."""
    faults = []
    for path in paths:
        name = os.path.basename(path)
        with open(path, encoding="utf-8") as f:
            top = "\n".join(f.read().splitlines()[:TOP_LINES])
        targets = {os.path.basename(target.split("#")[0]) for _, _, target in links(top)}
        for other in paths:
            other_name = os.path.basename(other)
            if other != path and other_name not in targets:
                faults.append(f"{name}: does not link {other_name} at its top")
    return faults


def check(paths, messages, screens_dir):
    faults = []
    for path in paths:
        faults += check_guide(path, messages, screens_dir)
    faults += structure_faults(paths)
    faults += cross_link_faults(paths)
    return faults


# Damaged copies for the self-test. Each row: a name, the index of the guide it
# damages, a function from (guide text, messages, screens folder) to the damaged
# text (it may also damage the screens folder), and the words the fault message
# must contain.
def drop_section(text, messages, screens):
    # The last level-3 section, heading and body, up to the next heading.
    lines = text.splitlines(keepends=True)
    outline = headings(text)
    start = [n for n, level, _ in outline if level == 3][-1]
    end = next((n for n, _, _ in outline if n > start), len(lines) + 1)
    return "".join(lines[:start - 1] + lines[end - 1:])


def drop_message(text, messages, screens):
    return text.replace(messages[0][1], "")


def drop_picture(text, messages, screens):
    return re.sub(r"!\[[^\]]*\]\(screens/install-error\.png\)\n?", "", text)


def lose_picture_file(text, messages, screens):
    os.remove(os.path.join(screens, "paths-error.png"))
    return text


def demote_heading(text, messages, screens):
    return re.sub(r"^### ", "#### ", text, count=1, flags=re.M)


def drop_cross_link(text, messages, screens):
    lines = text.splitlines(keepends=True)
    for index, line in enumerate(lines[:TOP_LINES]):
        if "user-guide" in line:
            lines[index] = "\n"
    return "".join(lines)


DAMAGES = [
    ("a section removed from the first guide", 0, drop_section, "section structure differs"),
    ("a section removed from the second guide", 1, drop_section, "section structure differs"),
    ("a message text removed from the first guide", 0, drop_message, "lacks the message text of"),
    ("a message text removed from the second guide", 1, drop_message, "lacks the message text of"),
    ("a picture removed from the first guide", 0, drop_picture, "does not show the picture install-error.png"),
    ("a picture removed from the second guide", 1, drop_picture, "does not show the picture install-error.png"),
    ("a linked picture file missing", 0, lose_picture_file, "links a missing picture screens/paths-error.png"),
    ("a heading level changed in the second guide", 1, demote_heading, "section structure differs"),
    ("the link to the other guide removed", 1, drop_cross_link, "does not link"),
]


def self_test(paths, messages, screens_dir):
    """Returns the damaged copies that the checks failed to catch."""
    misses = []
    for name, target, damage, expected in DAMAGES:
        with tempfile.TemporaryDirectory(prefix="guides-") as folder:
            screens = os.path.join(folder, "screens")
            shutil.copytree(screens_dir, screens)
            copies = []
            for index, path in enumerate(paths):
                with open(path, encoding="utf-8") as f:
                    text = f.read()
                if index == target:
                    damaged = damage(text, messages, screens)
                    if damaged == text and damage is not lose_picture_file:
                        misses.append(f"{name}: the damage changed nothing")
                    text = damaged
                copy = os.path.join(folder, os.path.basename(path))
                with open(copy, "w", encoding="utf-8") as f:
                    f.write(text)
                copies.append(copy)
            faults = check(copies, messages, screens)
            caught = [fault for fault in faults if expected in fault]
            if caught:
                print(f"self-test ok: {name}: {caught[0]}")
            else:
                misses.append(f"{name}: not caught (expected a fault with '{expected}', got {faults})")
    return misses


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--messages", required=True, help="core/messages.h")
    parser.add_argument("--screens", required=True, help="the folder of the pictures")
    parser.add_argument("--self-test", action="store_true",
                        help="also require damaged copies of the guides to fail")
    parser.add_argument("guides", nargs="+")
    args = parser.parse_args()

    messages = read_messages(args.messages)
    if not messages:
        print(f"FAILED: no message texts found in {args.messages}")
        return 1
    faults = check(args.guides, messages, args.screens)
    for fault in faults:
        print(f"FAILED: {fault}")
    if faults:
        return 1
    print(f"ok: {len(args.guides)} guides, {len(messages)} message texts, "
          f"{len(os.listdir(args.screens))} pictures, the same sections")
    if args.self_test:
        if len(args.guides) < 2:
            print("FAILED: the self-test needs two guides")
            return 1
        misses = self_test(args.guides, messages, args.screens)
        for miss in misses:
            print(f"FAILED self-test: {miss}")
        if misses:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
