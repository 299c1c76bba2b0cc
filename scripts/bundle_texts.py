#!/usr/bin/env python3
"""Writes the texts that go into the release bundle beside install.exe:

  THIRD-PARTY-NOTICES.txt  the third-party code that the link put into install.exe, read from
                           the linker's map, with the notice each license asks for, taken
                           from the owning Debian package's copyright file
  BUILDINFO.txt            the source commit, the Debian packages that built these bytes and
                           the SHA-256 of the reproducible (unsigned) build
  DEPLOYMENT.txt           the deployment guide, docs/deployment.md as it stands
  SBOM.cdx.json            a CycloneDX 1.6 software bill of materials: install.exe with its
                           SHA-256 and the same third-party packages as the notices, with their
                           versions, package URLs and SPDX license expressions
  SHA256SUMS               the SHA-256 of everything else in the bundle

The .txt files end their lines with CR LF, for Windows readers such as Notepad; SHA256SUMS keeps
LF, the line end sha256sum -c reads, and so does the SBOM, which is for programs.

Any linked file that belongs to no known component, and any notice excerpt that cannot be
found, stops the script: the notices are complete or there are none.
"""

import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import textwrap
import time
import urllib.parse
import uuid

# Debian packages whose files the link may put into install.exe, with the excerpts of their
# copyright files that hold the notices their licenses ask for. An excerpt runs from the line
# matching `start` to the line matching `end` (included when `end_included`). `license` is the
# SPDX expression for the SBOM; the excerpts must state it in the words of `license_statement`.
COMPONENTS = {
    "mingw-w64-i686-dev": {
        "title": "MinGW-w64 runtime: start-up code, C runtime support and import libraries",
        "license": "ZPL-2.1",
        "license_statement": "Files: * Copyright: 2009-2016 the mingw-w64 project "
                             "License: ZPL-2.1",
        "excerpts": [
            # Everything not listed under another stanza, the import libraries among it. The
            # start-up code (mingw-w64-crt/crt/) is in the public domain and needs no notice.
            {"start": r"^Files: \*$", "end": r"^$", "end_included": False},
        ],
    },
    "gcc-mingw-w64-i686-posix": {
        "title": "GCC runtime library (libgcc): start-up and stack-probe code",
        "license": "GPL-3.0-or-later WITH GCC-exception-3.1",
        "license_statement": "The following runtime libraries are licensed under the terms of "
                             "the GNU General Public License (v3 or later) with version 3.1 of "
                             "the GCC Runtime Library Exception (included in this file): "
                             "- libgcc (libgcc/,",
        "excerpts": [
            {"start": r"^GCC is Copyright", "end": r"^The libbacktrace library",
             "end_included": False},
            {"start": r"^GCC RUNTIME LIBRARY EXCEPTION$",
             "end": r"^requirements of the license of GCC\.$", "end_included": True},
        ],
    },
}

# The packages whose versions decide the bytes of install.exe, each marked whether it is one of
# the programs that the SBOM lists as the build's tools.
BUILD_PACKAGES = [
    ("g++-mingw-w64-i686-posix", True),
    ("gcc-mingw-w64-i686-posix", True),
    ("gcc-mingw-w64-i686-posix-runtime", False),
    ("gcc-mingw-w64-base", False),
    ("binutils-mingw-w64-i686", True),
    ("mingw-w64-i686-dev", False),
    ("mingw-w64-common", False),
    ("cmake", True),
    ("make", True),
]

SBOM_NAME = "SBOM.cdx.json"

ARCHIVE_MEMBER = re.compile(r"^(\S[^()]*)\(([^()]+)\)")


def fail(message):
    sys.exit("bundle_texts.py: " + message)


def run(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout.strip()


def sha256(path):
    with open(path, "rb") as file:
        return hashlib.sha256(file.read()).hexdigest()


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


def package_field(package, field):
    try:
        return run("dpkg-query", "--show", "--showformat=${%s}" % field, package)
    except subprocess.CalledProcessError:
        fail("Debian package " + package + " is not installed")


def package_url(package):
    # Percent-encoded as package URLs want it ("+" as %2B), except the ":" of a Debian epoch.
    return "pkg:deb/debian/%s@%s?arch=%s" % (
        urllib.parse.quote(package),
        urllib.parse.quote(package_field(package, "Version"), safe=":"),
        package_field(package, "Architecture"))


def excerpt(lines, rule, source):
    starts = [index for index, line in enumerate(lines) if re.search(rule["start"], line)]
    if len(starts) != 1:
        fail("%s: expected one line matching %r, found %d" % (source, rule["start"], len(starts)))
    for index in range(starts[0] + 1, len(lines)):
        if re.search(rule["end"], lines[index]):
            return lines[starts[0]:index + 1 if rule["end_included"] else index]
    fail("%s: no line matching %r after %r" % (source, rule["end"], rule["start"]))


def linked_packages(map_path):
    """Maps each Debian package that the link took code from to its linked files, each with
    its archive members."""
    by_package = {}
    for path, members in linked_inputs(map_path).items():
        if not os.path.isabs(path):
            continue  # the build's own objects and archives
        real_path = os.path.realpath(path)
        package = owning_package(real_path)
        if package not in COMPONENTS:
            fail("%s (Debian package %s) is linked into install.exe, but no notice is known "
                 "for it" % (real_path, package))
        by_package.setdefault(package, {})[real_path] = members
    return by_package


def notice(package):
    copyright_path = "/usr/share/doc/%s/copyright" % package
    with open(copyright_path, encoding="utf-8") as file:
        lines = file.read().splitlines()
    text = ["Notice, from %s:" % copyright_path, ""]
    for rule in COMPONENTS[package]["excerpts"]:
        text += excerpt(lines, rule, copyright_path) + [""]
    return text


def spdx_license(package):
    component = COMPONENTS[package]
    if component["license_statement"] not in " ".join(" ".join(notice(package)).split()):
        fail("the notice of %s no longer says %r, which the SBOM's license %r rests on"
             % (package, component["license_statement"], component["license"]))
    return component["license"]


def third_party_notices(version, by_package):
    title = "Third-party software in install.exe %s" % version
    text = [title, "=" * len(title), ""]
    text += textwrap.wrap(
        "install.exe is linked statically. Besides its own code it holds the parts of the "
        "following packages listed below, as the linker's map of this build shows them, and "
        "no other third-party code.", 78)
    for number, package in enumerate(sorted(by_package), 1):
        text += ["", "", "%d. %s" % (number, COMPONENTS[package]["title"]), "",
                 "Debian package: %s %s" % (package, package_field(package, "Version")),
                 "Linked in:"]
        for path, members in sorted(by_package[package].items()):
            name = os.path.basename(path)
            if members:
                text += textwrap.wrap("%s: %s" % (name, ", ".join(sorted(members))), 78,
                                      initial_indent="  ", subsequent_indent="    ",
                                      break_on_hyphens=False)
            else:
                text.append("  " + name)
        text += [""] + notice(package)
    return "\n".join(text).rstrip("\n") + "\n"


def sbom(version, executable, by_package, source_dir):
    """The CycloneDX SBOM as text. Its time is the commit's and its serial number a name-based
    UUID of the rest of it, so the same build of the same commit gives the same bytes."""
    commit_time = int(run("git", "-C", source_dir, "log", "-1", "--format=%ct"))
    purls = {package: package_url(package) for package in sorted(by_package)}
    content = {
        "version": 1,
        "metadata": {
            "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(commit_time)),
            "lifecycles": [{"phase": "build"}],
            "component": {
                "type": "application",
                "bom-ref": "install.exe",
                "supplier": {"name": "Quellbrookdynamical"},
                "name": "install.exe",
                "version": version,
                "hashes": [{"alg": "SHA-256", "content": sha256(executable)}],
            },
        },
        "components": [{
            "type": "library",
            "bom-ref": purl,
            "name": package,
            "version": package_field(package, "Version"),
            "description": COMPONENTS[package]["title"],
            "licenses": [{"expression": spdx_license(package)}],
            "purl": purl,
        } for package, purl in purls.items()],
        "dependencies": [{"ref": "install.exe", "dependsOn": list(purls.values())}],
        # What built install.exe, apart from what it holds.
        "formulation": [{"bom-ref": "build", "components": [{
            "type": "application",
            "name": package,
            "version": package_field(package, "Version"),
            "purl": package_url(package),
        } for package, tool in BUILD_PACKAGES if tool]}],
    }
    serial_number = uuid.uuid5(uuid.NAMESPACE_URL, json.dumps(content))
    return json.dumps({"$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json",
                       "bomFormat": "CycloneDX", "specVersion": "1.6",
                       "serialNumber": serial_number.urn, **content}, indent=2) + "\n"


def build_info(version, source_dir, executable, unsigned_sha256_file):
    commit = run("git", "-C", source_dir, "rev-parse", "HEAD")
    if run("git", "-C", source_dir, "status", "--porcelain"):
        fail("the source tree has uncommitted changes, so no commit names these bytes")
    debian = run("sh", "-c", ". /etc/os-release && echo \"$NAME $VERSION_ID\"")
    width = max(len(package) for package, _ in BUILD_PACKAGES)
    text = ["install.exe %s for 32-bit Windows (x86)" % version, "",
            "Source commit: " + commit, "",
            "Built on %s with these Debian packages:" % debian]
    text += ["  %-*s  %s" % (width, package, package_field(package, "Version"))
             for package, _ in BUILD_PACKAGES]
    text.append("")
    if unsigned_sha256_file:
        with open(unsigned_sha256_file, encoding="ascii") as file:
            unsigned = file.read().strip()
        text += ["SHA-256 of the unsigned build (reproducible): " + unsigned,
                 "SHA-256 of the signed install.exe in this bundle: " + sha256(executable),
                 "",
                 "A signature carries its signing time: a rebuild matches the unsigned hash."]
    else:
        text.append("SHA-256 of install.exe (reproducible): " + sha256(executable))
    text += ["", "To rebuild on Debian 12 with the same package versions and compare:",
             "  git checkout " + commit, "  scripts/build.sh", "  sha256sum build/install.exe"]
    return "\n".join(text) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--executable", required=True)
    parser.add_argument("--link-map", required=True)
    parser.add_argument("--deployment-guide", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--unsigned-sha256-file",
                        help="the unsigned build's hash, when install.exe is signed")
    parser.add_argument("--output-dir", required=True)
    arguments = parser.parse_args()

    by_package = linked_packages(arguments.link_map)
    texts = {
        "THIRD-PARTY-NOTICES.txt": third_party_notices(arguments.version, by_package),
        "BUILDINFO.txt": build_info(arguments.version, arguments.source_dir,
                                    arguments.executable, arguments.unsigned_sha256_file),
    }
    with open(arguments.deployment_guide, encoding="utf-8") as file:
        texts["DEPLOYMENT.txt"] = file.read()
    os.makedirs(arguments.output_dir, exist_ok=True)
    for name, text in texts.items():
        with open(os.path.join(arguments.output_dir, name), "w", encoding="utf-8",
                  newline="\r\n") as file:
            file.write(text)
    with open(os.path.join(arguments.output_dir, SBOM_NAME), "w", encoding="ascii",
              newline="\n") as file:
        file.write(sbom(arguments.version, arguments.executable, by_package,
                        arguments.source_dir))
    sums = {name: sha256(os.path.join(arguments.output_dir, name))
            for name in [*texts, SBOM_NAME]}
    sums[os.path.basename(arguments.executable)] = sha256(arguments.executable)
    with open(os.path.join(arguments.output_dir, "SHA256SUMS"), "w", encoding="ascii",
              newline="\n") as file:
        file.writelines("%s  %s\n" % (sums[name], name) for name in sorted(sums))


if __name__ == "__main__":
    main()
