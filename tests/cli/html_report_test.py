#!/usr/bin/env python3
"""The HTML report, parsed strictly: every JSON finding is a row of its rule's section exactly once,
hostile names are text and never markup, the page loads nothing from outside. Runs on a folder (check)
and on a zip of it (package). Usage: html_report_test.py VELTRANE_CLI EXAMPLES_DIR"""
import collections
import html.parser
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

CLI, EXAMPLES = sys.argv[1], sys.argv[2]
HOSTILE = ["<script>alert(1)</script>.cr2", '"><img src=x onerror=alert(1)>.pz2']
VOID = {"meta", "br", "img"}
ALLOWED = {"html", "head", "meta", "title", "style", "body", "h1", "h2", "p", "br", "div", "table", "caption",
           "thead", "tbody", "tr", "th", "td", "section", "span", "code", "a", "details", "summary"}


class Page(html.parser.HTMLParser):
    """Collects each section's rows as cell texts, failing on any unbalanced or unexpected markup."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack, self.rows, self.text = [], collections.Counter(), []
        self.section = self.row = self.cell = None

    def handle_starttag(self, tag, attrs):
        assert tag in ALLOWED, f"unexpected <{tag}>"
        for name, value in attrs:
            assert not name.startswith("on") and name in {"class", "id", "href", "lang", "charset", "content",
                                                          "http-equiv", "name", "colspan", "rowspan"}, name
            assert name != "href" or value.startswith("#"), value
        if tag not in VOID:
            self.stack.append(tag)
        attrs = dict(attrs)
        if tag == "section":
            self.section = attrs["id"]
        elif tag == "tr" and self.section and "more" not in attrs.get("class", ""):
            self.row = []
        elif tag == "td" and self.row is not None:
            self.cell = ""

    def handle_endtag(self, tag):
        assert self.stack and self.stack.pop() == tag, f"</{tag}> closes nothing open"
        if tag == "td" and self.cell is not None:
            self.row.append(self.cell)
            self.cell = None
        elif tag == "tr" and self.row:
            self.rows[(self.section, *self.row)] += 1
            self.row = None

    def handle_data(self, data):
        self.text.append(data)
        if self.cell is not None:
            self.cell += data


def expected_row(finding, root):
    def rel(path):
        return path[len(root) + 1:] if path.startswith(root + os.sep) else path

    if "value" in finding:
        detail = finding["value"]
    elif "text" in finding:
        detail = finding["text"]
    elif "length" in finding:
        detail = f"{finding['length']} characters"
    else:
        detail = finding.get("error", "")
    row = [finding["rule"], rel(finding.get("file", finding.get("path")))]
    row += ([str(finding["line"])] if "line" in finding else []) + [detail]
    if "resolved" in finding:
        row.append("found at " + rel(finding["resolved"]) if finding["resolved"] else "not found")
    elif "fixed" in finding:
        row.append("fixed" if finding["fixed"] else "")
    return tuple(row)


def check_page(page_path, findings, root):
    with open(page_path, encoding="utf-8") as f:
        source = f.read()
    page = Page()
    page.feed(source)
    page.close()
    assert not page.stack, f"left open: {page.stack}"
    want = collections.Counter(expected_row(f, root) for f in findings)
    assert page.rows == want, f"rows differ:\n+{page.rows - want}\n-{want - page.rows}"
    text = "".join(page.text)
    for name in HOSTILE:
        assert name in text, f"{name} not shown as text"
    assert "<script" not in source.lower().replace("&lt;script", "") and "<img" not in source.lower()
    assert "http://" not in source and "https://" not in source


def run(args, want_status):
    proc = subprocess.run([CLI, *args], capture_output=True)
    assert proc.returncode == want_status, (args, proc.returncode, proc.stderr)
    return proc


def main():
    with tempfile.TemporaryDirectory() as tmp:
        root = os.path.join(tmp, "Pkg")
        shutil.copytree(os.path.join(EXAMPLES, "SamplePackage"), root)
        library = os.path.join(root, "Runtime", "libraries", "character", "Hostile")
        os.makedirs(library)
        for name in HOSTILE:
            # "/" cannot stand in a name: the first one is a file in a folder "<script>alert(1)<".
            os.makedirs(os.path.dirname(os.path.join(library, name)), exist_ok=True)
            with open(os.path.join(library, name), "w") as f:
                f.write("{\nversion\n\t{\n\tnumber 4\n\t}\nfigureResFile :Runtime:Geometries:none.obj\n}\n")
        archive = os.path.join(tmp, "Pkg.zip")
        with zipfile.ZipFile(archive, "w") as z:
            for folder, _, files in os.walk(root):
                for name in files:
                    full = os.path.join(folder, name)
                    z.write(full, os.path.relpath(full, tmp))
        for command, package in (("check", root), ("package", archive)):
            page = os.path.join(tmp, command + ".html")
            proc = run([command, "--json", "--html", page, package], 1)
            check_page(page, json.loads(proc.stdout)["findings"], package)
        # Several PATHs: one page each in a folder, never one FILE for all.
        run(["package", "--html", os.path.join(tmp, "one.html"), root, archive], 2)
        out = os.path.join(tmp, "pages")
        os.mkdir(out)
        run(["package", "--html", out, root, archive], 1)
        assert sorted(os.listdir(out)) == ["Pkg-report.html", "Pkg.zip-report.html"], os.listdir(out)
        assert run(["package", "--html", "-", root], 1).stdout.startswith(b"<!DOCTYPE html>")
    print("ok")


if __name__ == "__main__":
    main()
