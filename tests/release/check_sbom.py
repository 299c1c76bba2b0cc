#!/usr/bin/env python3
"""Checks the SBOM of a release zip against the install.exe and THIRD-PARTY-NOTICES.txt beside
it: valid against the CycloneDX JSON schema of the version it declares (from the schema
directory, no network), install.exe's SHA-256, exactly the Debian packages the notices name with their
versions and package URLs, licenses made of SPDX ids that the schema knows, and install.exe
depending on each of them. Needs Debian's python3-jsonschema.

Usage: check_sbom.py SCHEMA_DIR ZIP
"""

import hashlib
import json
import os
import re
import sys
import urllib.parse
import zipfile

import jsonschema

SPDX_OPERATORS = {"AND", "OR", "WITH", "(", ")"}
NOTICED_PACKAGE = re.compile(r"^Debian package: (\S+) (\S+)\r?$", re.MULTILINE)
DEBIAN_PURL = re.compile(r"^pkg:deb/debian/([^@?]+)@([^?]+)\?arch=[a-z0-9-]+$")


def load_schemas(directory):
    """The schema files of `directory` (third_party/cyclonedx-schema), by name."""
    schemas = {}
    for name in os.listdir(directory):
        if name.endswith(".schema.json"):
            with open(os.path.join(directory, name), encoding="utf-8") as file:
                schemas[name] = json.load(file)
    return schemas


def offline(uri):
    raise jsonschema.RefResolutionError(uri + " is not among the schema files here")


def schema_problems(bom, schemas):
    schema = schemas.get("bom-%s.SNAPSHOT.schema.json" % bom.get("specVersion"))
    if schema is None:
        return ["no schema here for specVersion %r" % bom.get("specVersion")]
    # The $refs name sibling files, which resolve to the copies here.
    store = {urllib.parse.urljoin(schema["$id"], name): other for name, other in schemas.items()}
    resolver = jsonschema.RefResolver(schema["$id"], schema, store=store,
                                      handlers={"http": offline, "https": offline})
    validator = jsonschema.Draft7Validator(schema, resolver=resolver,
                                           format_checker=jsonschema.FormatChecker())
    return ["schema: %s at /%s" % (error.message, "/".join(map(str, error.absolute_path)))
            for error in validator.iter_errors(bom)]


def licenses(component):
    return [entry.get("expression") or entry.get("license", {}).get("id", "")
            for entry in component.get("licenses", [])]


def problems(bom, schemas, executable_sha256, notices):
    spdx_ids = set(schemas["spdx.SNAPSHOT.schema.json"]["enum"])
    found = schema_problems(bom, schemas)
    product = bom.get("metadata", {}).get("component", {})
    hashes = {entry.get("alg"): entry.get("content") for entry in product.get("hashes", [])}
    if "SHA-256" not in hashes:
        found.append("install.exe has no SHA-256 hash")
    elif hashes["SHA-256"] != executable_sha256:
        found.append("install.exe's SHA-256 is %s, not %s" % (executable_sha256,
                                                              hashes["SHA-256"]))
    components = bom.get("components", [])
    listed = sorted((component.get("name"), component.get("version"))
                    for component in components)
    noticed = sorted(NOTICED_PACKAGE.findall(notices))
    if listed != noticed:
        found.append("components %s, but the notices name %s" % (listed, noticed))
    for component in components:
        name = component.get("name")
        purl = DEBIAN_PURL.match(component.get("purl", ""))
        if not purl or [urllib.parse.unquote(part) for part in purl.groups()] != [
                name, component.get("version")]:
            found.append("%s: package URL %r does not name its package and version"
                         % (name, component.get("purl")))
        if not licenses(component):
            found.append(name + " has no license")
        for expression in licenses(component):
            unknown = [token for token in re.findall(r"[()]|[^\s()]+", expression)
                       if token not in SPDX_OPERATORS | spdx_ids]
            if unknown or not expression:
                found.append("%s: license %r: %s not SPDX ids" % (name, expression, unknown))
    dependencies = [entry.get("dependsOn") for entry in bom.get("dependencies", [])
                    if entry.get("ref") == product.get("bom-ref")]
    if [set(refs or []) for refs in dependencies] != [
            {component.get("bom-ref") for component in components}]:
        found.append("install.exe depends on %s, not on its components" % dependencies)
    return found


def main():
    schema_dir, zip_path = sys.argv[1:]
    with zipfile.ZipFile(zip_path) as bundle:
        files = {os.path.basename(name): name for name in bundle.namelist()}
        bom = json.loads(bundle.read(files["SBOM.cdx.json"]))
        executable_sha256 = hashlib.sha256(bundle.read(files["install.exe"])).hexdigest()
        notices = bundle.read(files["THIRD-PARTY-NOTICES.txt"]).decode("utf-8")
    found = problems(bom, load_schemas(schema_dir), executable_sha256, notices)
    for problem in found:
        print("%s: SBOM.cdx.json: %s" % (zip_path, problem), file=sys.stderr)
    if found:
        sys.exit(1)
    print("%s: SBOM.cdx.json is valid CycloneDX %s; install.exe %s; components as in the "
          "notices: %s" % (zip_path, bom["specVersion"], executable_sha256,
                           "; ".join("%s %s %s" % (component["name"], component["version"],
                                                   licenses(component))
                                     for component in bom["components"])))


if __name__ == "__main__":
    main()
