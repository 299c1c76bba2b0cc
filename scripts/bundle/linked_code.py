"""The third-party code that the link put into install.exe, read from the linker's map, and
what is known of it: its Debian package, and from the table in linked_code.json the license of
each linked file or archive member and the notice excerpt of the package's copyright file that
the license asks for.

linked_code.json holds three tables:

  packages  the Debian packages the link may take code from: a title, the upstream project that
            created the code, and the NVD CPE name, if NVD has one ({upstream_version} in it
            stands for the package's upstream version)
  licenses  each license: an SPDX expression, the words of the copyright file it rests on, and
            the excerpts of that file that make its notice; an excerpt runs from the line
            matching `start` to the line matching `end` (included when `end_included`);
            `full_text`, where the notice only points to a license's text on a Debian system,
            is that file, which the notices then carry
  code      (package, file, member pattern) to a license: `members` is null for an object file
            that the link loads whole and a shell-style pattern for archive members

A linked file or member that the table does not know stops the release: a package that mixes
licenses could otherwise hand new code the wrong one without anyone noticing.
"""

import fnmatch
import json
import os
import re
import subprocess
import sys

TABLE_PATH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "linked_code.json")
with open(TABLE_PATH, encoding="utf-8") as table_file:
    TABLE = json.load(table_file)

ARCHIVE_MEMBER = re.compile(r"^(\S[^()]*)\(([^()]+)\)")


def fail(message):
    sys.exit("bundle_texts.py: " + message)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()


def package_field(package, field):
    try:
        return run("dpkg-query", "--show", "--showformat=${%s}" % field, package)
    except subprocess.CalledProcessError:
        fail("Debian package " + package + " is not installed")


def upstream_version(version):
    """The upstream part of a Debian version: no epoch, no Debian revision."""
    version = version.split(":", 1)[-1]
    return version.rsplit("-", 1)[0] if "-" in version else version


def linked_inputs(map_path):
    """Maps each input file that contributes code to its archive members (empty for an
    object file loaded whole). Archives that the linker searched without taking a member
    contribute nothing and are left out."""
    inputs = {}
    with open(map_path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    in_members = False
    for line in lines:
        if line.startswith("Archive member included"):
            in_members = True
        elif line and not line[0].isspace() and not ARCHIVE_MEMBER.match(line):
            in_members = False
        if in_members:
            match = ARCHIVE_MEMBER.match(line)
            if match:
                inputs.setdefault(match.group(1), set()).add(match.group(2))
        elif line.startswith("LOAD ") and line.endswith(".o"):
            inputs.setdefault(line[5:], set())
    if not inputs:
        fail(map_path + " lists no linked input")
    return inputs


def owning_package(path):
    try:
        owner = run("dpkg-query", "--search", path)
    except subprocess.CalledProcessError:
        fail(path + " is linked into install.exe but belongs to no Debian package")
    return owner.split(":")[0]


def code_row(package, name, member):
    """The table's row for `member` of file `name` (None: the file loaded whole), or None."""
    for row in TABLE["code"]:
        if row["package"] != package or row["file"] != name:
            continue
        if member is None and row["members"] is None:
            return row
        if member is not None and row["members"] is not None and fnmatch.fnmatchcase(
                member, row["members"]):
            return row
    return None


def linked_packages(map_path):
    """Maps each Debian package that the link took code from to what it took: "files", each
    linked file's real path with its sorted archive members, and "licenses", the keys of the
    licenses of that code in the table's order."""
    by_package = {}
    for path, members in sorted(linked_inputs(map_path).items()):
        if not os.path.isabs(path):
            continue  # the build's own objects and archives
        real_path = os.path.realpath(path)
        package = owning_package(real_path)
        if package not in TABLE["packages"]:
            fail("%s (Debian package %s) is linked into install.exe, but %s knows no such "
                 "package" % (real_path, package, TABLE_PATH))
        linked = by_package.setdefault(package, {"files": {}, "licenses": set()})
        linked["files"][real_path] = sorted(members)
        for member in sorted(members) or [None]:
            row = code_row(package, os.path.basename(real_path), member)
            if row is None:
                fail("%s%s (Debian package %s) is linked into install.exe, but %s gives no "
                     "license for it: find its source and license in the package's copyright "
                     "file and add a row" % (real_path, "" if member is None else "(%s)" % member,
                                              package, TABLE_PATH))
            linked["licenses"].add(row["license"])
    for linked in by_package.values():
        linked["licenses"] = [key for key in TABLE["licenses"] if key in linked["licenses"]]
    return by_package


def license_expression(linked):
    """The SPDX expression for all the code taken from one package."""
    expressions = [TABLE["licenses"][key]["expression"] for key in linked["licenses"]]
    if len(expressions) == 1:
        return expressions[0]
    return " AND ".join("(%s)" % expression if " OR " in expression else expression
                        for expression in expressions)


def copyright_path(package):
    return "/usr/share/doc/%s/copyright" % package


def excerpt(lines, rule, source):
    starts = [index for index, line in enumerate(lines) if re.search(rule["start"], line)]
    if len(starts) != 1:
        fail("%s: expected one line matching %r, found %d" % (source, rule["start"], len(starts)))
    for index in range(starts[0] + 1, len(lines)):
        if re.search(rule["end"], lines[index]):
            return lines[starts[0]:index + 1 if rule["end_included"] else index]
    fail("%s: no line matching %r after %r" % (source, rule["end"], rule["start"]))


def notice(package, license_key):
    """The excerpts of the package's copyright file for one license, which must state the
    license in the words the table gives."""
    path = copyright_path(package)
    with open(path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    license = TABLE["licenses"][license_key]
    text = []
    for rule in license["excerpts"]:
        text += excerpt(lines, rule, path) + [""]
    if license["statement"] not in " ".join(" ".join(text).split()):
        fail("%s no longer says %r, which the license %r rests on"
             % (path, license["statement"], license["expression"]))
    return text
