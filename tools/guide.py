#!/usr/bin/env python3
"""Builds the user guide from docs/guide and the command list of the string table.

    guide.py TABLE PAGES OUT      write the guide into OUT
    guide.py --check TABLE PAGES  check the menu paths of the pages

In a page, <!--style--> becomes the style sheet guide.css and a link to
guide-dark.css (copied beside the pages) for a dark colour scheme, and
<!--part:NAME.part|A|B--> the piece NAME.part of the pages' folder with {0}, {1}
replaced by A, B (the parts that every window kind's page has). Then
<!--menus:LIST--> becomes the menus of the command list LIST as
nested lists, and <!--buttons:LIST--> the pages of the button list LIST with
the function keys F1 to F10 that press its buttons. Pictures the pages show
from the docs folder (src="../x.png") are copied beside the pages.

Every menu path a page names as <span class="menu">File &gt; Exit</span> must
be an item of one of the lists the page shows, or of the main window's menu
(MAIN_FRAME), with the captions as the menus show them: without the "&" of
the mnemonic and without the shortcut after a tab. --check lists those that
are not and fails.
"""
import html
import os
import re
import shutil
import sys

MAIN_MENU = "MAIN_FRAME"
BUTTONS_PER_PAGE = 10


def read_command_list(table_path):
    """{list name: [entries]} in order; an entry is a dict."""
    lists = {}
    with open(table_path, encoding="utf-8", errors="replace") as f:
        for line in f:
            number, _, text = line.rstrip("\r\n").partition(":")
            if not number.isdigit() or int(number) < 100:
                continue
            if text == "END_LIST":
                break
            fields = text.split(",")
            if len(fields) < 11:
                continue
            try:
                mtype, level, check, action = (int(v) for v in fields[2:6])
            except ValueError:
                continue
            caption, _, shortcut = fields[1].partition("\t")
            lists.setdefault(fields[0], []).append({
                "caption": caption.replace("&", ""), "shortcut": shortcut, "type": mtype,
                "level": level, "check": check, "action": action, "children": []})
    return lists


def menu_tree(entries):
    """The top-level entries of a menu list, each with its children."""
    roots, open_at = [], {}
    for e in entries:
        parent = open_at.get(e["level"] - 1) if e["level"] > 0 else None
        (parent["children"] if parent else roots).append(e)
        open_at[e["level"]] = e
        for deeper in [k for k in open_at if k > e["level"]]:
            del open_at[deeper]
    return roots


def menu_paths(entries):
    paths = set()

    def walk(items, prefix):
        for e in items:
            if e["type"] == 1:
                continue
            path = prefix + [e["caption"]]
            paths.add(" > ".join(path))
            walk(e["children"], path)

    walk(menu_tree(entries), [])
    return paths


def render_menus(entries):
    def items(nodes, depth):
        out = []
        for e in nodes:
            if e["type"] == 1:
                continue
            text = html.escape(e["caption"])
            if e["shortcut"]:
                text += " <kbd>%s</kbd>" % html.escape(e["shortcut"])
            leaves = [c for c in e["children"] if c["type"] != 1]
            if depth > 0 and leaves and not any(c["children"] for c in leaves):
                # A sub-menu of plain items reads best on one line.
                text += ": " + ", ".join(html.escape(c["caption"]) for c in leaves)
            elif e["children"]:
                text = ("<b>%s</b>" if depth == 0 else "%s") % text
                text += "\n" + items(e["children"], depth + 1)
            out.append("<li>%s</li>" % text)
        return "<ul>\n%s\n</ul>" % "\n".join(out)

    return '<div class="menus">\n%s\n</div>' % items(menu_tree(entries), 0)


def render_buttons(entries):
    rows = []
    buttons = [e for e in entries if e["level"] == 0]
    for first in range(0, len(buttons), BUTTONS_PER_PAGE):
        page = buttons[first:first + BUTTONS_PER_PAGE]
        cells = "".join("<td><kbd>F%d</kbd><br>%s</td>" % (i + 1, html.escape(e["caption"]))
                        for i, e in enumerate(page))
        rows.append("<tr><th>%d</th>%s</tr>" % (first // BUTTONS_PER_PAGE + 1, cells))
    return '<table class="buttons">\n%s\n</table>' % "\n".join(rows)


PLACEHOLDER = re.compile(r"<!--(menus|buttons):([A-Z0-9_]+)-->")
PART = re.compile(r"<!--part:([\w.-]+\.part)((?:\|[^|>]*)*)-->")
STYLE = "<!--style-->"
DARK_STYLE = "guide-dark.css"
DARK_LINK = f'<link rel="stylesheet" media="(prefers-color-scheme: dark)" href="{DARK_STYLE}">'
MENU_PATH = re.compile(r'<span class="menu">(.*?)</span>', re.S)
PICTURE = re.compile(r'src="\.\./([^"]+)"')
PAGE_LINK = re.compile(r'href="([^"#:]+)(?:#[^"]*)?"')


def read_page(pages, name):
    """The page with its style sheet and its parts put in."""
    def read(file):
        with open(os.path.join(pages, file), encoding="utf-8") as f:
            return f.read()

    def part(m):
        return read(m.group(1)).format(*m.group(2).split("|")[1:])

    text = PART.sub(part, read(name))
    return text.replace(STYLE, "<style>\n%s</style>\n%s" % (read("guide.css"), DARK_LINK))


def page_problems(text, lists):
    """The menu paths of a page that no menu it shows has."""
    shown = {name for kind, name in PLACEHOLDER.findall(text) if kind == "menus"}
    problems = [f"unknown list {name}" for kind, name in PLACEHOLDER.findall(text)
                if name not in lists]
    known = set()
    for name in shown | {MAIN_MENU}:
        known |= menu_paths(lists.get(name, []))
    for raw in MENU_PATH.findall(text):
        path = " ".join(html.unescape(re.sub(r"<[^>]+>", "", raw)).split())
        if path not in known:
            problems.append(f'menu path "{path}" is not in {", ".join(sorted(shown | {MAIN_MENU}))}')
    return problems


def build(table, pages, out):
    lists = read_command_list(table)
    os.makedirs(out, exist_ok=True)
    docs = os.path.dirname(os.path.abspath(pages))
    shutil.copyfile(os.path.join(pages, DARK_STYLE), os.path.join(out, DARK_STYLE))
    for name in sorted(os.listdir(pages)):
        if not name.endswith(".html"):
            continue
        text = read_page(pages, name)

        def fill(m):
            entries = lists.get(m.group(2), [])
            return render_menus(entries) if m.group(1) == "menus" else render_buttons(entries)

        text = PLACEHOLDER.sub(fill, text)
        for picture in PICTURE.findall(text):
            target = os.path.join(out, picture)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(os.path.join(docs, picture), target)
        text = PICTURE.sub(r'src="\1"', text)
        tmp = os.path.join(out, name + ".tmp")
        with open(tmp, "w", encoding="utf-8") as f:
            f.write(text)
        os.replace(tmp, os.path.join(out, name))


def check(table, pages):
    lists = read_command_list(table)
    failed = 0
    for name in sorted(os.listdir(pages)):
        if not name.endswith(".html"):
            continue
        text = read_page(pages, name)
        for problem in page_problems(text, lists):
            print(f"{name}: {problem}")
            failed += 1
        for picture in PICTURE.findall(text):
            if not os.path.isfile(os.path.join(pages, "..", picture)):
                print(f"{name}: picture ../{picture} is missing")
                failed += 1
        for link in PAGE_LINK.findall(text):
            if not os.path.isfile(os.path.join(pages, link)):
                print(f"{name}: link to {link}, which is not a page of the guide")
                failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2], sys.argv[3]))
    if len(sys.argv) == 4:
        build(*sys.argv[1:])
        sys.exit(0)
    sys.exit(__doc__)
