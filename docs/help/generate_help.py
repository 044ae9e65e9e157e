#!/usr/bin/python3
# Writes Quendrel's HTML help: sections of README.md and the Markdown pages
# of docs/help/, one HTML page each, with a contents page, a style sheet and
# the images they show.
#
# Links are written between the pages: a link to docs/help/X.md goes to that
# page, a link to README.md#part or #part goes to the page that holds the
# heading, and a file a page shows (a screenshot) is copied into the help. A
# link that leads nowhere stops the build.
import argparse
import html
import re
import shutil
import sys
from pathlib import Path, PurePosixPath
from urllib.parse import urlsplit

import markdown

# The pages in their order: a README.md section by its heading (with its
# subsections), or a Markdown file of docs/help/. The first heading is the
# page's title.
PAGES = [
    ("using.html", "README.md", "Using Quendrel"),
    ("messages.html", "docs/help/messages.md", None),
    ("files.html", "README.md", "Where Quendrel keeps its files"),
    ("command-line.html", "README.md", "Command line"),
]
# The source tree, from --repository.
REPOSITORY = Path(".")
FENCE = re.compile(r"^\s*(```|~~~)")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
# Links and images as Python-Markdown writes them (text in code has its "<" escaped).
LINK_TAG = re.compile(r"<(?:a|img)\s[^>]*>")
LINK_ATTRIBUTE = re.compile(r'\b(href|src)="([^"]*)"')


class HelpError(Exception):
    pass


# Each line with the level of the heading it is (0 for none or in code).
def markdown_lines(text):
    in_code = False
    for line in text.splitlines():
        if FENCE.match(line):
            in_code = not in_code
        heading = None if in_code else HEADING.match(line)
        yield line, len(heading.group(1)) if heading else 0, heading.group(2) if heading else None


# The section under the heading title, up to the next heading of its level or above; its headings raised so that its
# own is the first level.
def section(text, title):
    lines, level = [], 0
    for line, depth, heading in markdown_lines(text):
        if level and depth and depth <= level:
            break
        if not level and heading == title:
            level = depth
        if level:
            lines.append("#" * (depth - level + 1) + line[depth:] if depth else line)
    if not lines:
        raise HelpError(f"README.md has no heading \"{title}\"")
    return "\n".join(lines) + "\n"


# The first paragraph after the title: what the program is.
def lead_paragraph(text):
    paragraphs = re.split(r"\n\s*\n", text.split("\n## ", 1)[0])
    return next(p for p in paragraphs[1:] if p.strip() and not p.lstrip().startswith((">", "#")))


# One page of the help: its Markdown, its HTML body as Python-Markdown wrote it, and its headings.
class Page:
    def __init__(self, file_name, source, title):
        self.file_name = file_name
        self.source = PurePosixPath(source)
        self.from_readme = title is not None
        self.converter = markdown.Markdown(extensions=["tables", "fenced_code", "toc"], output_format="html")
        self.markdown = section(read(source), title) if self.from_readme else read(source)
        self.body = self.converter.convert(self.markdown)
        self.headings = self.converter.toc_tokens
        if not self.headings:
            raise HelpError(f"{source}: no heading to name the page")
        self.title = html.unescape(self.headings[0]["name"])

    # The fragment of a link to the heading anchor: none for the page's own title.
    def fragment(self, anchor):
        return "#" + anchor if anchor and anchor != self.headings[0]["id"] else ""

    def ids(self):
        pending = list(self.headings)
        while pending:
            token = pending.pop()
            pending.extend(token["children"])
            yield token["id"]


def read(source):
    return (REPOSITORY / source).read_text(encoding="utf-8")


# Where a link of a page's source leads in the help.
class LinkMap:
    def __init__(self, pages, output):
        self.output = output
        self.page_of_source = {page.source: page for page in pages if not page.from_readme}
        self.page_of_readme_id = {}
        for page in pages:
            for anchor in page.ids() if page.from_readme else ():
                self.page_of_readme_id.setdefault(anchor, page)

    def rewrite(self, page):
        def attribute(match):
            return f'{match.group(1)}="{html.escape(self.target(page, html.unescape(match.group(2))))}"'
        return LINK_TAG.sub(lambda tag: LINK_ATTRIBUTE.sub(attribute, tag.group(0)), page.body)

    def target(self, page, link):
        parts = urlsplit(link)
        if parts.scheme or parts.netloc:
            return link
        path = normalised(page.source.parent / parts.path) if parts.path else page.source
        fragment = "#" + parts.fragment if parts.fragment else ""
        if path.name == "README.md":
            return self.readme_target(page, parts.fragment, link)
        if path in self.page_of_source:
            target = self.page_of_source[path]
            if parts.fragment and parts.fragment not in set(target.ids()):
                raise HelpError(f"{page.source}: the link {link} names no heading of {path}")
            return target.file_name + target.fragment(parts.fragment)
        if path.suffix == ".md":
            raise HelpError(f"{page.source}: the link {link} names no page of the help")
        return self.copied_file(page, path, link) + fragment

    def readme_target(self, page, fragment, link):
        target = self.page_of_readme_id.get(fragment)
        if target is None:
            raise HelpError(f"{page.source}: the link {link} leads to no part of README.md in the help")
        return target.file_name + target.fragment(fragment)

    def copied_file(self, page, path, link):
        source = REPOSITORY / path
        if not source.is_file():
            raise HelpError(f"{page.source}: the link {link} names no file")
        copy = PurePosixPath(path.parent.name) / path.name
        (self.output / copy).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(source, self.output / copy)
        return str(copy)


def normalised(path):
    parts = []
    for part in path.parts:
        if part == "..":
            if not parts:
                raise HelpError(f"{path} leaves the repository")
            parts.pop()
        elif part != ".":
            parts.append(part)
    return PurePosixPath(*parts)


# The headings as list items of links, with their subheadings down to the third level.
def contents_items(tokens, page, depth=1):
    items = []
    for token in tokens:
        link = page.file_name if depth == 1 else f"{page.file_name}#{token['id']}"
        nested = contents_items(token["children"], page, depth + 1) if depth < 3 else ""
        nested = f"\n<ul>\n{nested}</ul>\n" if nested else ""
        items.append(f'<li><a href="{link}">{html.escape(html.unescape(token["name"]))}</a>{nested}</li>\n')
    return "".join(items)


# A whole page: the bar with the other pages (this one's name in bold), its body, the version.
def document(title, version, body, pages, current=None):
    entries = [("index.html", "Contents", current is None)]
    entries += [(page.file_name, page.title, page is current) for page in pages]
    links = [f"<strong>{html.escape(name)}</strong>" if here else f'<a href="{link}">{html.escape(name)}</a>'
             for link, name, here in entries]
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>{html.escape(title)} - Quendrel {version} Help</title>
<link rel="stylesheet" href="style.css">
</head>
<body>
<nav>{" | ".join(links)}</nav>
<main>
{body}
</main>
<footer>Quendrel {version}</footer>
</body>
</html>
"""


def write_help(output, version):
    if output.exists():
        shutil.rmtree(output)
    output.mkdir(parents=True)
    pages = [Page(*entry) for entry in PAGES]
    links = LinkMap(pages, output)
    for page in pages:
        text = document(page.title, version, links.rewrite(page), pages, page)
        (output / page.file_name).write_text(text, encoding="utf-8")
    lead = markdown.markdown(lead_paragraph(read("README.md")), output_format="html")
    contents = "<ul>\n" + "".join(contents_items(page.headings, page) for page in pages) + "</ul>"
    index = f"<h1>Quendrel {version} Help</h1>\n{lead}\n<h2>Contents</h2>\n{contents}"
    shutil.copyfile(REPOSITORY / "docs/help/style.css", output / "style.css")
    # Written last: the build takes this file's time for the whole help's.
    (output / "index.html").write_text(document("Contents", version, index, pages), encoding="utf-8")


def main():
    global REPOSITORY
    parser = argparse.ArgumentParser(description="Writes the HTML help from README.md and docs/help/.")
    parser.add_argument("--repository", type=Path, required=True, help="the source tree, holding README.md")
    parser.add_argument("--version", required=True)
    parser.add_argument("--output", type=Path, required=True, help="the help's folder, replaced whole")
    arguments = parser.parse_args()
    REPOSITORY = arguments.repository
    try:
        write_help(arguments.output, arguments.version)
    except HelpError as error:
        sys.exit(f"generate_help.py: {error}")


if __name__ == "__main__":
    main()
