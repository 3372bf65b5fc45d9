#!/usr/bin/env python3
"""Builds the user manual Quendrel.pdf from one Markdown file per language.

    build_manual.py [--package-file NAME] OUTPUT.pdf manual.de.md manual.en.md manual.fr.md

pandoc turns each Markdown file into HTML; this script puts the parts
together behind a cover page, each part with its own table of contents, and
WeasyPrint lays the whole out as paged PDF with manual.css: an outline
(bookmarks) of every part, chapter and section, contents entries and cross
references that are links, the document's title, author, subject and
language, no ligatures in the text, no heading alone at a page bottom and no
line break inside a path or a number.

Markdown conventions: the first level-1 heading is the part's title; the
metadata block at the top (title, lang, part, contents, version, date)
names the part; level-2 headings are chapters and level-3 headings
sections, both listed in the contents. A heading's id is given as
{#name}; links to it are written [text](#name) and get the page number.
Picture paths are relative to the Markdown file. A picture alone in its
paragraph becomes a figure whose caption is the picture's text; a figure
followed by a paragraph that is only emphasis (a second caption) is refused.
@PACKAGE_FILE@ stands for the name of the Debian package file the build
makes (--package-file, from CMake). A paragraph that ends in a colon stays
on the page of the example, table or list it introduces, and a short table
stays on one page.
"""

import html
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def metadata(markdown_path):
    """The part's metadata block: 'key: value' lines between two '---'."""
    with open(markdown_path, encoding="utf-8") as f:
        text = f.read()
    match = re.match(r"---\n(.*?)\n---\n", text, re.S)
    if not match:
        sys.exit(f"{markdown_path}: no metadata block at the top")
    meta = {}
    for line in match.group(1).splitlines():
        key, _, value = line.partition(":")
        meta[key.strip()] = value.strip().strip('"')
    for key in ("title", "lang", "part", "contents"):
        if key not in meta:
            sys.exit(f"{markdown_path}: metadata '{key}' missing")
    return meta


def part_html(markdown_path, meta, package_file):
    """The part's body as HTML, ids prefixed with the language."""
    prefix = meta["lang"] + "-"
    with open(markdown_path, encoding="utf-8") as f:
        markdown = f.read()
    if "@PACKAGE_FILE@" in markdown:
        if not package_file:
            sys.exit(f"{markdown_path} names @PACKAGE_FILE@, but no --package-file was given")
        markdown = markdown.replace("@PACKAGE_FILE@", package_file)
    out = subprocess.run(
        ["pandoc", "--from=markdown-smart", "--to=html5",
         "--id-prefix=" + prefix, "--wrap=none", "--no-highlight"],
        input=markdown, check=True, capture_output=True, text=True).stdout
    # One caption per figure: the picture's own.
    doubled = re.findall(r"</figure>\s*<p><em>(.*?)</em></p>", out, re.S)
    if doubled:
        sys.exit(f"{markdown_path}: a figure with a second caption: {doubled[0]}")
    # pandoc prefixes the ids, not the links that point to them.
    out = re.sub(r'href="#(?!' + re.escape(prefix) + r')', 'href="#' + prefix, out)
    # Numbers stay whole: a blank between digit groups or before a unit
    # does not break (outside code, where the text is typed as it is).
    def text_only(fragment):
        pieces = re.split(r"(<pre.*?</pre>|<code.*?</code>|<[^>]+>)", fragment, flags=re.S)
        for i in range(0, len(pieces), 2):
            piece = re.sub(r"(?<=\d) (?=\d{3}(?!\d))", "\u202f", pieces[i])
            piece = re.sub(r"(?<=\d) (?=(?:mm|cm|ms|min|V|mV|mA|bar|mbar|kPa|°C|%|Bd|Baud|kB|MB|GB|pt|Nm|kN)\b)",
                           "\u00a0", piece)
            # A path or a "Notepad /Write" outside code is not broken at its slashes.
            piece = re.sub(r"[^\s<>]*/[^\s<>]*", lambda m: f'<span class="nobreak">{m.group(0)}</span>', piece)
            pieces[i] = piece
        return "".join(pieces)
    out = text_only(out)
    # "chapter 9", "Abschnitt 4.3", "section 12.1": links to that heading.
    numbered = {}
    for ident, number in re.findall(r'<h[23] id="([^"]+)"[^>]*>\s*(\d+(?:\.\d+)?)\s', out):
        numbered[number] = ident
    def link_references(fragment):
        pieces = re.split(r"(<pre.*?</pre>|<code.*?</code>|<a\b.*?</a>|<h[1-6][^>]*>.*?</h[1-6]>|<[^>]+>)",
                          fragment, flags=re.S)
        words = r"(?:chapters?|sections?|Kapitel|Abschnitt(?:e|en)?|chapitres?)"
        def one(m):
            ident = numbered.get(m.group(2))
            return f'<a href="#{ident}">{m.group(0)}</a>' if ident else m.group(0)
        for i in range(0, len(pieces), 2):
            pieces[i] = re.sub(r"\b(" + words + r")(?:\s|\u00a0)+(\d+(?:\.\d+)?)\b(?![.,]\d)", one, pieces[i])
        return "".join(pieces)
    out = link_references(out)
    # A short table (up to 18 rows and 1200 characters of text) is not split
    # across pages: half of it, or its heading row alone, at a page bottom
    # helps nobody. Longer ones break between rows.
    def whole(m):
        text = re.sub(r"<[^>]+>", "", m.group(1))
        short = m.group(1).count("<tr") <= 18 and len(text) <= 1200
        return '<table class="whole"' + m.group(1) if short else m.group(0)
    out = re.sub(r'<table(?=[\s>])(.*?</table>)', whole, out, flags=re.S)
    # A heading and the block after it stay on one page.
    def keep(match):
        block = match.group(2)
        # A nested or long list follows its heading and breaks between items.
        if match.group(3) in ("ul", "ol") and (block.count("<" + match.group(3)) > 1 or block.count("<li") > 4):
            return match.group(0)
        # A long table follows its heading and breaks between its rows.
        if match.group(3) == "table" and not block.startswith('<table class="whole"'):
            return match.group(0)
        return f'<div class="keep">{match.group(1)}\n{block}</div>'
    out = re.sub(r'(<h[234][^>]*>.*?</h[234]>)\s*(<(p|figure|pre|ul|ol|table)[\s>].*?</\3>)',
                 keep, out, flags=re.S)
    # A paragraph that introduces an example, a table or a list ("... with:")
    # is not left alone at a page bottom.
    out = re.sub(r'<p>((?:(?!</?p>).)*:)</p>(?=(?:\s*</div>)?\s*<(?:pre|table|ul|ol)[\s>])',
                 r'<p class="lead">\1</p>', out, flags=re.S)
    out = re.sub(r'<div class="keep">(?=((?:(?!</?div).)*<p class="lead">(?:(?!</?div).)*)</div>)',
                 '<div class="keep lead">', out, flags=re.S)
    # Pictures are found relative to the Markdown file.
    base = os.path.dirname(os.path.abspath(markdown_path))
    out = re.sub(r'src="(?!/|[a-z]+:)([^"]+)"',
                 lambda m: 'src="file://' + os.path.join(base, m.group(1)) + '"', out)
    return out


def contents(body, meta):
    """The part's table of contents: every h2 and h3 with its page."""
    entries = []
    missing = []
    for level, attributes, title in re.findall(r'<h([23])((?:\s[^>]*)?)>(.*?)</h\1>', body, re.S):
        ident = re.search(r'\bid="([^"]+)"', attributes)
        if not ident:
            missing.append(title)
            continue
        text = re.sub(r"<[^>]+>", "", title)
        entries.append(f'<li class="toc{level}"><a href="#{ident.group(1)}">{text}</a></li>')
    if missing:
        sys.exit(f"part {meta['lang']}: headings without an id: {missing[:3]}")
    return (f'<nav class="contents" id="{meta["lang"]}-contents">'
            f'<h2 class="contents-title">{html.escape(meta["contents"])}</h2>'
            f'<ul>{"".join(entries)}</ul></nav>')


def main():
    arguments = sys.argv[1:]
    package_file = None
    if arguments[:1] == ["--package-file"] and len(arguments) >= 2:
        package_file, arguments = arguments[1], arguments[2:]
    if len(arguments) < 2:
        sys.exit(__doc__)
    output, sources = arguments[0], arguments[1:]
    parts = [(path, metadata(path)) for path in sources]
    first = parts[0][1]

    cover_rows = "".join(
        f'<li lang="{m["lang"]}"><a href="#{m["lang"]}-part">{html.escape(m["part"])}</a></li>'
        for _, m in parts)
    titles = " / ".join(m["title"] for _, m in parts)
    body = [f'''<section class="cover">
<p class="product">Quendrel/2</p>
<h1 class="cover-title">Data Recorder</h1>
<p class="cover-sub">Benutzerhandbuch · User manual · Mode d'emploi</p>
<ul class="languages">{cover_rows}</ul>
<p class="version">Version {html.escape(first.get("version", ""))} · {html.escape(first.get("date", ""))}</p>
</section>''']
    for path, meta in parts:
        part = part_html(path, meta, package_file)
        # The part's title, the version line below it, then the contents.
        part = re.sub(r"<h1[^>]*>(.*?)</h1>(\s*<p>.*?</p>)?",
                      lambda m: f'<h1 class="part-title" id="{meta["lang"]}-part" '
                                  f'data-bookmark="{html.escape(meta["part"])}">{m.group(1)}</h1>'
                                  + (m.group(2) or "")
                                + contents(part, meta), part, count=1, flags=re.S)
        body.append(f'<section class="part" lang="{meta["lang"]}" '
                    f'style="string-set: part-name &quot;{html.escape(meta["part"])}&quot;">{part}</section>')

    # Every cross reference leads somewhere.
    joined = "".join(body)
    ids = set(re.findall(r'id="([^"]+)"', joined))
    broken = sorted(set(re.findall(r'href="#([^"]+)"', joined)) - ids)
    if broken:
        sys.exit(f"links to no heading: {', '.join(broken)}")

    document = f'''<!DOCTYPE html>
<html lang="{first["lang"]}">
<head>
<meta charset="utf-8">
<title>Quendrel/2 Data Recorder – {html.escape(titles)}</title>
<meta name="author" content="{html.escape(first.get("author", ""))}">
<meta name="description" content="{html.escape(first.get("subject", ""))}">
<meta name="keywords" content="Quendrel/2, data recorder, manual, Handbuch, manuel">
<meta name="dcterms.created" content="{html.escape(first.get("date", ""))}">
<link rel="stylesheet" href="file://{os.path.join(HERE, "manual.css")}">
</head>
<body>
{"".join(body)}
</body>
</html>'''
    with tempfile.NamedTemporaryFile("w", suffix=".html", encoding="utf-8", delete=False,
                                     dir=os.path.dirname(os.path.abspath(output))) as f:
        f.write(document)
        html_path = f.name
    try:
        subprocess.run(["weasyprint", "--quiet", "--base-url", HERE, html_path, output + ".part"],
                       check=True)
        os.replace(output + ".part", output)
    finally:
        if os.environ.get("QDR_KEEP_MANUAL_HTML"):
            print(html_path)
        else:
            os.unlink(html_path)


if __name__ == "__main__":
    main()
