#!/usr/bin/env python3
"""Makes the notices and the SBOM from this build as scripts/bundle/bundle_texts.py does for the
bundle (without BUILDINFO.txt, which wants a committed tree), requires check_sbom.py to accept
them, and to refuse each broken copy of that SBOM for the reason the case names. Also requires
the bundle to be refused for a link map with an archive member that the license table does not
know.

Usage: sbom_test.py SOURCE_DIR SCHEMA_DIR VERSION INSTALL_EXE LINK_MAP VENDOR CONTACT LICENSE
"""

import copy
import json
import os
import sys
import tempfile

import check_sbom

source_dir, schema_dir, version, executable, link_map, *vendor = sys.argv[1:]
sys.path.insert(0, os.path.join(source_dir, "scripts", "bundle"))
import bundle_texts  # noqa: E402 (found through the path above)
import linked_code  # noqa: E402

by_package = linked_code.linked_packages(link_map)
notices = bundle_texts.third_party_notices(version, by_package)
bom = json.loads(bundle_texts.sbom(version, executable, by_package, source_dir,
                                   dict(zip(["name", "contact", "license"], vendor)),
                                   bundle_texts.BUILD_TOOLS))
with open(executable, "rb") as file:
    executable_hashes = check_sbom.file_hashes(file.read())
schemas = check_sbom.load_schemas(schema_dir)


def bsi_property(component, name):
    return next(entry for entry in component["properties"] if entry["name"] == name)


def product_hash(bom):
    return bom["metadata"]["component"]["hashes"][0]


# Each case: what breaks the SBOM, and a text the problem it causes must contain.
BROKEN = {
    "missing hash": (lambda bom: bom["metadata"]["component"].pop("hashes"),
                     "install.exe has no SHA-256"),
    "other file's hash": (lambda bom: product_hash(bom).update(content="0" * 64),
                          "install.exe's SHA-256 is"),
    "unknown hash algorithm": (lambda bom: product_hash(bom).update(alg="SHA-2"),
                               "schema: 'SHA-2' is not one of"),
    "invalid license id": (lambda bom: bom["components"][0]["licenses"][0].update(
        expression="GPL-3.0-or-later WITH GCC-exception-3"), "['GCC-exception-3'] not SPDX ids"),
    "component left out": (lambda bom: bom["components"].pop(0), "but the notices name"),
    "other version": (lambda bom: bom["components"][0].update(version="1.0"),
                      "but the notices name"),
    "no author": (lambda bom: bom["metadata"].pop("authors"), "the SBOM has no author"),
    "no supplier": (lambda bom: bom["components"][0].pop("supplier"),
                    "'s supplier has no name"),
    "no package URL": (lambda bom: bom["metadata"]["component"].pop("purl"),
                       "install.exe has no package URL"),
    "no BSI archive property": (lambda bom: bom["components"][1]["properties"].remove(
        bsi_property(bom["components"][1], "bsi:component:archive")),
        "has 0 values of bsi:component:archive"),
    "graph not declared complete": (lambda bom: bom.pop("compositions"),
                                    "no composition declares"),
    "no serial number": (lambda bom: bom.pop("serialNumber"), "serialNumber None is no urn:uuid"),
    "no document version": (lambda bom: bom.pop("version"), "version None is no integer"),
    "no build tools": (lambda bom: bom.pop("formulation"), "formulation names no build tool"),
    "no pedigree": (lambda bom: bom["components"][0].pop("pedigree"),
                    "but without pedigree ancestors"),
    "no evidence": (lambda bom: bom["components"][1].pop("evidence"),
                    "evidence.occurrences do not list the linked files"),
    "no CPE": (lambda bom: bom["components"][0].pop("cpe"),
               "but its CPE None is not NVD's cpe:2.3:a:gnu:gcc:"),
    "no operating system": (lambda bom: bom.update(components=[
        component for component in bom["components"] if component["type"] != "operating-system"]),
        "0 operating-system components"),
}

# A link map that puts one unknown archive member of a known package (winpthreads, under its
# own license) into install.exe, and the text the refusal must name it by.
UNKNOWN_MEMBER = ("/usr/i686-w64-mingw32/lib/libwinpthread.a", "libwinpthread_la-thread.o")

failures = ["the SBOM of this build: " + problem
            for problem in check_sbom.problems(bom, schemas, executable_hashes, notices)]
for case, (damage, expected) in BROKEN.items():
    broken = copy.deepcopy(bom)
    damage(broken)
    found = check_sbom.problems(broken, schemas, executable_hashes, notices)
    if not any(expected in problem for problem in found):
        failures.append("%s: expected a problem with %r, got %s" % (case, expected, found))

with tempfile.NamedTemporaryFile("w", suffix=".map") as unknown_map:
    unknown_map.write("Archive member included to satisfy reference by file (symbol)\n\n"
                      "%s(%s)\n                              main.o (pthread_create)\n"
                      % UNKNOWN_MEMBER)
    unknown_map.flush()
    try:
        linked_code.linked_packages(unknown_map.name)
        failures.append("a map with %s(%s) was accepted" % UNKNOWN_MEMBER)
    except SystemExit as refusal:
        if "%s(%s)" % UNKNOWN_MEMBER not in str(refusal):
            failures.append("the refusal of %s(%s) does not name it: %s"
                            % (UNKNOWN_MEMBER + (refusal,)))
print("\n".join(failures) or "the SBOM of this build passes; %d broken copies and a link map "
      "with an unknown archive member are refused" % len(BROKEN))
sys.exit(1 if failures else 0)
