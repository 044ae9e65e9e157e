#!/usr/bin/python3
# Checks the HTML help the build wrote: every page is UTF-8 HTML5 with a
# charset and a title, unique ids and images with alt texts, every link and image leads to a file of the help (and
# to a heading there when it names one), and every text an update shows (the
# status and failure texts of update_failure.h, and the numbered errors of
# the update's steps) is explained somewhere in it.
#
# Usage: check_help.py HELP_DIR UPDATE_SOURCE_DIR
import re
import sys
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import unquote, urlsplit


# One page's faults, ids, links and text, from Python's own HTML parser.
class Page(HTMLParser):
    def __init__(self, path):
        super().__init__(convert_charrefs=True)
        self.path = path
        self.faults, self.ids, self.links, self.text = [], set(), [], []
        self.doctype = self.charset = self.in_title = False
        self.title = ""
        try:
            self.feed(path.read_text(encoding="utf-8"))
        except UnicodeDecodeError as error:
            self.faults.append(f"not UTF-8: {error}")
        self.close()
        self.faults += [f"no {fault}" for missing, fault in ((not self.doctype, "<!DOCTYPE html>"),
                        (not self.charset, '<meta charset="utf-8">'), (not self.title.strip(), "<title>")) if missing]

    def handle_decl(self, decl):
        self.doctype |= decl.lower() == "doctype html"

    def handle_starttag(self, tag, attrs):
        attributes = dict(attrs)
        self.charset |= tag == "meta" and (attributes.get("charset") or "").lower() == "utf-8"
        if tag == "img" and "alt" not in attributes:
            self.faults.append(f"<img src={attributes.get('src')}> without alt")
        if "id" in attributes:
            self.faults += [f"id {attributes['id']} twice"] if attributes["id"] in self.ids else []
            self.ids.add(attributes["id"])
        self.links += [value for name, value in attrs if name in ("href", "src")]
        self.in_title = tag == "title"

    def handle_endtag(self, tag):
        self.in_title = False

    def handle_data(self, data):
        if self.in_title:
            self.title += data
        self.text.append(data)


def link_faults(page, pages, help_dir):
    faults = []
    for link in page.links:
        parts = urlsplit(link)
        target = (page.path.parent / unquote(parts.path)).resolve() if parts.path else page.path
        if parts.scheme or parts.netloc or help_dir not in target.parents or not target.is_file():
            faults.append(f"{link}: no file of the help")
        elif parts.fragment and (target not in pages or parts.fragment not in pages[target].ids):
            faults.append(f"{link}: no such heading")
    return faults


# The texts an update shows: the literals of update_failure.h's update_text namespace, and the numbered errors
# ("Overflow - 6") that the steps make with UpdateFailure::Unexpected.
def shown_texts(update_dir):
    header = (update_dir / "update_failure.h").read_text(encoding="utf-8")
    names = re.search(r"namespace update_text \{(.*?)\}\s*// namespace update_text", header, re.S)
    texts = {text.strip() for text in re.findall(r'QStringLiteral\("([^"]*)"\)', names.group(1))}
    numbers = dict(re.findall(r"inline constexpr int (k\w+) = (\d+);", header))
    for source in sorted(update_dir.glob("*.cpp")):
        for text, number in re.findall(r'Unexpected\(\s*QStringLiteral\("([^"]+)"\),\s*(k\w+)',
                                       source.read_text(encoding="utf-8")):
            texts.add(f"{text} - {numbers[number]}")
    return {text for text in texts if re.search(r"\w", text)}


def main():
    help_dir, update_dir = Path(sys.argv[1]).resolve(), Path(sys.argv[2])
    pages = {path: Page(path) for path in sorted(help_dir.rglob("*.html"))}
    faults = [] if (help_dir / "index.html") in pages else ["no index.html"]
    for path, page in pages.items():
        faults += [f"{path.name}: {fault}" for fault in page.faults + link_faults(page, pages, help_dir)]
    words = " ".join(" ".join(" ".join(page.text) for page in pages.values()).split())
    texts = shown_texts(update_dir)
    if len(texts) < 10:
        faults.append(f"only {len(texts)} texts found in {update_dir}: has update_failure.h changed its form?")
    faults += [f'the help never explains "{text}"' for text in sorted(texts) if text not in words]
    print("\n".join(faults + [f"{len(pages)} pages, {len(texts)} texts of the update: {len(faults)} faults"]))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
