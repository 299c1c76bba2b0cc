#!/usr/bin/env python3
"""Checks the SBOM of a release zip against the install.exe and THIRD-PARTY-NOTICES.txt beside
it, and for every field that the NTIA minimum elements and BSI TR-03183-2 v2.0.0 require:

  schema       valid against the CycloneDX JSON schema of the version it declares (from the
               schema directory, no network)
  document     a serialNumber that is a urn:uuid, and a version that is an integer of at least 1
  author       a timestamp; an author, a manufacturer with a URL or e-mail, and the tool
  supplier     install.exe and every component with a supplier and a creator (manufacturer),
               each with a name and a URL or e-mail
  identifiers  install.exe's name, version, package URL, SHA-256 and SHA-512 (matching the
               file); each component's name, version and Debian package URL with the distro
               and upstream qualifiers, exactly the packages and versions of the notices; a
               CPE 2.3 name where there is one, and NVD's name for GCC (gnu:gcc at the gcc-N
               source's upstream version) on a component built from a gcc-N source package
  pedigree     ancestors, each with a name, version and package URL, on every component whose
               version does not begin with its source package's (upstream@<version>): such a
               binary is versioned after code from other sources (Built-Using), as
               gcc-mingw-w64's packages are after gcc-12's
  evidence     each component's occurrences, each an absolute path of a linked file
  licenses     a license for each, made of SPDX ids that the schema knows or LicenseRef-s
  bsi          the BSI properties filename, executable, archive, structured and
               associatedLicences, each once, with allowed values
  completeness a dependencies entry for install.exe and every component, install.exe
               depending on each component, and a composition declaring the graph complete
  system       one operating-system component, the Debian release of the packages as Trivy
               reads it: name debian, a version whose major number is the package URLs'
               distro release, a supplier, and depending on exactly the package components.
               It is no part of install.exe, so the rules above for components skip it
  formulation  the build's tools, each with a name, version and a Debian package URL naming
               them

Needs Debian's python3-jsonschema.

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
LICENSE_REF = re.compile(r"^LicenseRef-[A-Za-z0-9.-]+$")
NOTICED_PACKAGE = re.compile(r"^Debian package: (\S+) (\S+)\r?$", re.MULTILINE)
DEBIAN_PURL = re.compile(r"^pkg:deb/debian/([^@?#]+)@([^?#]+)\?([^#]+)$")
CPE = re.compile(r"^cpe:2\.3:[aho](:[^:\s]+){10}$")
SERIAL_NUMBER = re.compile(r"^urn:uuid:[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$")
GCC_SOURCE = re.compile(r"^gcc-[0-9]+$")
OPERATING_SYSTEM = "operating-system"
BSI_VALUES = {
    "filename": None,
    "executable": {"executable", "non-executable"},
    "archive": {"archive", "no archive"},
    "structured": {"structured", "unstructured"},
    "associatedLicences": None,
}
HASHES = {"SHA-256": "sha256", "SHA-512": "sha512"}


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


def upstream_version(version):
    """The upstream part of a Debian version: no epoch, no Debian revision."""
    version = version.split(":", 1)[-1]
    return version.rsplit("-", 1)[0] if "-" in version else version


def document_problems(bom):
    found = []
    if not SERIAL_NUMBER.match(str(bom.get("serialNumber", ""))):
        found.append("the SBOM's serialNumber %r is no urn:uuid" % bom.get("serialNumber"))
    version = bom.get("version")
    if type(version) is not int or version < 1:
        found.append("the SBOM's version %r is no integer of at least 1" % version)
    return found


def licenses(component):
    return [entry.get("expression") or entry.get("license", {}).get("id", "")
            for entry in component.get("licenses", [])]


def reachable(where, entity):
    """Problems of an organizational entity that must have a name and a URL or e-mail."""
    if not isinstance(entity, dict) or not entity.get("name"):
        return ["%s has no name" % where]
    if not entity.get("url") and not any(contact.get("email")
                                         for contact in entity.get("contact", [])):
        return ["%s has no URL or e-mail" % where]
    return []


def license_problems(name, component, spdx_ids):
    found = []
    if not licenses(component):
        found.append(name + " has no license")
    for expression in licenses(component):
        unknown = [token for token in re.findall(r"[()]|[^\s()]+", expression)
                   if token not in SPDX_OPERATORS | spdx_ids and not LICENSE_REF.match(token)]
        if unknown or not expression:
            found.append("%s: license %r: %s not SPDX ids or LicenseRef-s"
                         % (name, expression, unknown))
    return found


def bsi_problems(name, component):
    found = []
    properties = {}
    for entry in component.get("properties", []):
        if entry.get("name", "").startswith("bsi:component:"):
            properties.setdefault(entry["name"][len("bsi:component:"):], []).append(
                entry.get("value"))
    for key, allowed in BSI_VALUES.items():
        values = properties.get(key, [])
        if len(values) != 1 or not values[0]:
            found.append("%s has %d values of bsi:component:%s, not one"
                         % (name, len(values), key))
        elif allowed and values[0] not in allowed:
            found.append("%s: bsi:component:%s is %r, not one of %s"
                         % (name, key, values[0], sorted(allowed)))
    if properties.get("associatedLicences", []) not in ([], [" AND ".join(licenses(component))]):
        found.append("%s: bsi:component:associatedLicences %s is not its license %s"
                     % (name, properties["associatedLicences"], licenses(component)))
    return found, properties


def component_problems(name, component, spdx_ids):
    """What every component, install.exe among them, must have."""
    found = reachable(name + "'s supplier", component.get("supplier"))
    found += reachable(name + "'s creator (manufacturer)", component.get("manufacturer"))
    if not component.get("version"):
        found.append(name + " has no version")
    found += license_problems(name, component, spdx_ids)
    return found + bsi_problems(name, component)[0]


def product_problems(product, executable_hashes, spdx_ids):
    found = component_problems("install.exe", product, spdx_ids)
    if product.get("name") != "install.exe":
        found.append("the SBOM describes %r, not install.exe" % product.get("name"))
    if bsi_problems("install.exe", product)[1].get("filename") != ["install.exe"]:
        found.append("install.exe's bsi:component:filename is not install.exe")
    if not product.get("purl"):
        found.append("install.exe has no package URL")
    hashes = {entry.get("alg"): entry.get("content") for entry in product.get("hashes", [])}
    for algorithm, digest in executable_hashes.items():
        if algorithm not in hashes:
            found.append("install.exe has no %s hash" % algorithm)
        elif hashes[algorithm] != digest:
            found.append("install.exe's %s is %s, not %s" % (algorithm, digest,
                                                             hashes[algorithm]))
    return found


def linked_problems(components, notices, spdx_ids):
    listed = sorted((component.get("name"), component.get("version"))
                    for component in components)
    noticed = sorted(NOTICED_PACKAGE.findall(notices))
    found = [] if listed == noticed else [
        "components %s, but the notices name %s" % (listed, noticed)]
    for component in components:
        name = component.get("name")
        found += component_problems(name, component, spdx_ids)
        purl = DEBIAN_PURL.match(component.get("purl", ""))
        qualifiers = urllib.parse.parse_qs(purl.group(3)) if purl else {}
        if not purl or [urllib.parse.unquote(part) for part in purl.groups()[:2]] != [
                name, component.get("version")]:
            found.append("%s: package URL %r does not name its package and version"
                         % (name, component.get("purl")))
        elif not re.match(r"^debian-[0-9]+$", qualifiers.get("distro", [""])[0]) or not (
                qualifiers.get("upstream") and qualifiers.get("arch")):
            found.append("%s: package URL %r lacks arch, distro (debian-<release>) or upstream"
                         % (name, component.get("purl")))
        if "cpe" in component and not CPE.match(component["cpe"]):
            found.append("%s: %r is no CPE 2.3 name" % (name, component["cpe"]))
        found += origin_problems(name, component, qualifiers)
        locations = [occurrence.get("location", "") for occurrence in
                     component.get("evidence", {}).get("occurrences", [])]
        if not locations or not all(location.startswith("/") for location in locations):
            found.append("%s: evidence.occurrences do not list the linked files" % name)
    return found


def origin_problems(name, component, qualifiers):
    """Pedigree and NVD's name, where the package URL and the pedigree say where the code comes
    from."""
    found = []
    source, _, source_version = qualifiers.get("upstream", [""])[0].partition("@")
    ancestors = component.get("pedigree", {}).get("ancestors", [])
    if source_version and not str(component.get("version")).startswith(source_version) and not (
            ancestors):
        found.append("%s: versioned after other code than its source %s %s, but without "
                     "pedigree ancestors" % (name, source, source_version))
    for ancestor in ancestors:
        if not (ancestor.get("name") and ancestor.get("version")
                and str(ancestor.get("purl")).startswith("pkg:deb/debian/")):
            found.append("%s: pedigree ancestor %r lacks a name, version or Debian package URL"
                         % (name, ancestor.get("name")))
    for origin, version in [(source, source_version)] + [
            (ancestor.get("name"), ancestor.get("version")) for ancestor in ancestors]:
        expected = "cpe:2.3:a:gnu:gcc:%s:" % upstream_version(str(version))
        if GCC_SOURCE.match(str(origin)) and version and not str(
                component.get("cpe")).startswith(expected):
            found.append("%s: built from %s %s, but its CPE %r is not NVD's %s..."
                         % (name, origin, version, component.get("cpe"), expected))
    return found


def author_problems(metadata):
    found = [] if metadata.get("timestamp") else ["the SBOM has no timestamp"]
    if not metadata.get("authors") or not all(author.get("name")
                                              for author in metadata["authors"]):
        found.append("the SBOM has no author")
    found += reachable("the SBOM's manufacturer", metadata.get("manufacturer"))
    tools = metadata.get("tools", {}).get("components", [])
    if not tools or not all(tool.get("name") and tool.get("version") for tool in tools):
        found.append("the SBOM names no tool that made it")
    return found


def completeness_problems(bom, product, components):
    refs = [product.get("bom-ref")] + [component.get("bom-ref") for component in components]
    depends = {}
    for entry in bom.get("dependencies", []):
        depends.setdefault(entry.get("ref"), []).append(entry.get("dependsOn"))
    found = []
    for ref in refs:
        if len(depends.get(ref, [])) != 1 or depends[ref][0] is None:
            found.append("%r has %d dependencies entries with dependsOn, not one"
                         % (ref, len(depends.get(ref, []))))
    unknown = {target for lists in depends.values() for targets in lists for target in
               targets or [] if target not in refs}
    if unknown:
        found.append("dependencies name unknown components %s" % sorted(unknown))
    if set((depends.get(refs[0]) or [[]])[0] or []) != set(refs[1:]):
        found.append("install.exe does not depend on exactly its components")
    if not any(composition.get("aggregate") == "complete"
               and set(refs) <= set(composition.get("dependencies", []))
               for composition in bom.get("compositions", [])):
        found.append("no composition declares the dependencies of all components complete")
    return found


def system_problems(bom, systems, components):
    """The Debian release of the package components: without it Trivy drops them all."""
    if len(systems) != 1:
        return ["the SBOM has %d operating-system components, not one" % len(systems)]
    system = systems[0]
    found = reachable("the operating system's supplier", system.get("supplier"))
    releases = {urllib.parse.parse_qs(purl.group(3)).get("distro", [""])[0]
                for purl in [DEBIAN_PURL.match(component.get("purl", ""))
                             for component in components] if purl}
    version = str(system.get("version"))
    if system.get("name") != "debian" or {"debian-" + version.split(".")[0]} != releases:
        found.append("the operating system is %s %s, not the release %s of the package URLs"
                     % (system.get("name"), version, sorted(releases)))
    depends = [entry.get("dependsOn") for entry in bom.get("dependencies", [])
               if entry.get("ref") == system.get("bom-ref")]
    if len(depends) != 1 or set(depends[0] or []) != {
            component.get("bom-ref") for component in components}:
        found.append("the operating system does not depend on exactly the package components")
    return found


def formulation_problems(bom):
    tools = [tool for formula in bom.get("formulation", []) for tool in
             formula.get("components", [])]
    found = [] if tools else ["the SBOM's formulation names no build tool"]
    for tool in tools:
        purl = DEBIAN_PURL.match(tool.get("purl", ""))
        if not purl or [urllib.parse.unquote(part) for part in purl.groups()[:2]] != [
                tool.get("name"), tool.get("version")]:
            found.append("build tool %r: package URL %r does not name it and its version"
                         % (tool.get("name"), tool.get("purl")))
    return found


def split_components(bom):
    """The components of install.exe, and the operating-system components beside them."""
    components = bom.get("components", [])
    return ([component for component in components if component.get("type") != OPERATING_SYSTEM],
            [component for component in components if component.get("type") == OPERATING_SYSTEM])


def problems(bom, schemas, executable_hashes, notices):
    """Every problem of `bom`; `executable_hashes` maps SHA-256 and SHA-512 to install.exe's."""
    spdx_ids = set(schemas["spdx.SNAPSHOT.schema.json"]["enum"])
    metadata = bom.get("metadata", {})
    product = metadata.get("component", {})
    components, systems = split_components(bom)
    return (schema_problems(bom, schemas) + document_problems(bom) + author_problems(metadata)
            + product_problems(product, executable_hashes, spdx_ids)
            + linked_problems(components, notices, spdx_ids)
            + completeness_problems(bom, product, components)
            + system_problems(bom, systems, components) + formulation_problems(bom))


def file_hashes(data):
    return {algorithm: hashlib.new(name, data).hexdigest() for algorithm, name in HASHES.items()}


def main():
    schema_dir, zip_path = sys.argv[1:]
    with zipfile.ZipFile(zip_path) as bundle:
        files = {os.path.basename(name): name for name in bundle.namelist()}
        bom = json.loads(bundle.read(files["SBOM.cdx.json"]))
        executable_hashes = file_hashes(bundle.read(files["install.exe"]))
        notices = bundle.read(files["THIRD-PARTY-NOTICES.txt"]).decode("utf-8")
    found = problems(bom, load_schemas(schema_dir), executable_hashes, notices)
    for problem in found:
        print("%s: SBOM.cdx.json: %s" % (zip_path, problem), file=sys.stderr)
    if found:
        sys.exit(1)
    print("%s: SBOM.cdx.json is valid CycloneDX %s with every NTIA and BSI field; install.exe "
          "%s; components as in the notices: %s"
          % (zip_path, bom["specVersion"], executable_hashes["SHA-256"],
             "; ".join("%s %s %s" % (component["name"], component["version"],
                                     licenses(component))
                       for component in split_components(bom)[0])))


if __name__ == "__main__":
    main()
