#!/usr/bin/env python3
"""Makes the notices and the SBOM from this build as scripts/bundle_texts.py does for the
bundle (without BUILDINFO.txt, which wants a committed tree), requires check_sbom.py to accept
them, and to refuse each broken copy of that SBOM for the reason the case names.

Usage: sbom_test.py SOURCE_DIR SCHEMA_DIR VERSION INSTALL_EXE LINK_MAP
"""

import copy
import json
import os
import sys

import check_sbom

source_dir, schema_dir, version, executable, link_map = sys.argv[1:]
sys.path.insert(0, os.path.join(source_dir, "scripts"))
import bundle_texts  # noqa: E402 (found through the path above)

by_package = bundle_texts.linked_packages(link_map)
notices = bundle_texts.third_party_notices(version, by_package)
bom = json.loads(bundle_texts.sbom(version, executable, by_package, source_dir))
executable_sha256 = bundle_texts.sha256(executable)
schemas = check_sbom.load_schemas(schema_dir)


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
    "component left out": (lambda bom: bom["components"].pop(), "but the notices name"),
    "other version": (lambda bom: bom["components"][0].update(version="1.0"),
                      "but the notices name"),
}

failures = ["the SBOM of this build: " + problem
            for problem in check_sbom.problems(bom, schemas, executable_sha256, notices)]
for case, (damage, expected) in BROKEN.items():
    broken = copy.deepcopy(bom)
    damage(broken)
    found = check_sbom.problems(broken, schemas, executable_sha256, notices)
    if not any(expected in problem for problem in found):
        failures.append("%s: expected a problem with %r, got %s" % (case, expected, found))
print("\n".join(failures) or "the SBOM of this build passes; %d broken copies are refused"
      % len(BROKEN))
sys.exit(1 if failures else 0)
