"""SBOM.cdx.json: a CycloneDX 1.6 software bill of materials of install.exe and the third-party
code linked into it, with the NTIA minimum elements and the fields that BSI TR-03183-2 v2.0.0
requires, the latter as BSI's CycloneDX property taxonomy (bsi:component:*) maps them.

Each linked Debian package is one component. Its file is the package's .deb, and its evidence
lists the files and archive members that the link took. What scanners read to match it with
Debian's advisories:

  grype  the package URL's qualifiers distro (debian-12) and upstream (the source package, with
         its version where that differs from the binary package's); older releases read no
         qualifier of a CycloneDX SBOM and take the release from the operating-system component
  Trivy  neither qualifier: the release from the operating-system component (name debian,
         version from /etc/debian_version), without which it drops every pkg:deb component, and
         the source package from the aquasecurity:trivy:Src* properties

The operating-system component names the Debian release the packages come from; it is no part
of install.exe. No scanner matches libgcc's code by where it comes from, gcc-12's source: only
the pedigree records that.
"""

import hashlib
import json
import os
import re
import time
import urllib.parse
import uuid

from linked_code import (TABLE, fail, license_expression, package_field, run,
                         upstream_version)

DEBIAN = {"name": "Debian", "url": ["https://www.debian.org/"]}
EMAIL = re.compile(r"^[^@\s]+@[^@\s]+\.[^@\s]+$")
URL = re.compile(r"^https?://[^\s/]+")


def file_hash(path, algorithm):
    with open(path, "rb") as file:
        return hashlib.new(algorithm, file.read()).hexdigest()


def organization(name, contact):
    """An organizational entity reached at `contact`, an e-mail address or an http(s) URL."""
    if EMAIL.match(contact):
        return {"name": name, "contact": [{"name": name, "email": contact}]}
    if URL.match(contact):
        return {"name": name, "url": [contact]}
    fail("the vendor's contact %r is neither an e-mail address nor an http(s) URL" % contact)


def bsi_properties(filename, executable, archive, structured, license):
    return [{"name": "bsi:component:" + name, "value": value} for name, value in [
        ("filename", filename), ("executable", executable), ("archive", archive),
        ("structured", structured), ("associatedLicences", license)]]


def distro():
    return run("sh", "-c", ". /etc/os-release && echo \"$ID-$VERSION_ID\"")


def qualifier(value):
    # Percent-encoded as package URLs want qualifier values ("+" as %2B, "@" as %40), but ":".
    return urllib.parse.quote(value, safe=":")


def package_url(package):
    version = package_field(package, "Version")
    source = package_field(package, "source:Package")
    source_version = package_field(package, "source:Version")
    upstream = source if source_version == version else "%s@%s" % (source, source_version)
    return "pkg:deb/debian/%s@%s?arch=%s&distro=%s&upstream=%s" % (
        urllib.parse.quote(package), urllib.parse.quote(version, safe=":"),
        package_field(package, "Architecture"), distro(), qualifier(upstream))


def ancestors(package):
    """The source packages the package says it was built from (Built-Using): gcc-mingw-w64's
    libgcc is gcc-12's."""
    built_using = package_field(package, "Built-Using")
    return [{"type": "library", "name": name, "version": version,
             "purl": "pkg:deb/debian/%s@%s?arch=source&distro=%s" % (
                 urllib.parse.quote(name), urllib.parse.quote(version, safe=":"), distro())}
            for name, version in re.findall(r"([^\s,()]+) \(= ([^)]+)\)", built_using)]


def debian_version(version):
    """Epoch, upstream version and Debian revision of a Debian version."""
    epoch, _, rest = version.rpartition(":")
    upstream, _, revision = rest.rpartition("-") if "-" in rest else (rest, "", "")
    return epoch, upstream, revision


def trivy_properties(package):
    """The source package as Trivy reads it: without these it looks the binary package's name up
    in Debian's advisories, which are by source package."""
    epoch, upstream, revision = debian_version(package_field(package, "source:Version"))
    values = [("SrcName", package_field(package, "source:Package")), ("SrcVersion", upstream),
              ("SrcRelease", revision), ("SrcEpoch", epoch)]
    return [{"name": "aquasecurity:trivy:" + name, "value": value}
            for name, value in values if value]


def operating_system():
    """The Debian release of the packages, as Trivy and syft read an operating-system component:
    the family as name, the point release as version."""
    family = run("sh", "-c", ". /etc/os-release && echo \"$ID\"")
    with open("/etc/%s_version" % family, encoding="ascii") as file:
        version = file.read().strip()
    release = distro().split("-", 1)[1]
    if version.split(".")[0] != release:
        fail("/etc/%s_version says %s, /etc/os-release release %s" % (family, version, release))
    return {
        "type": "operating-system",
        "bom-ref": "%s-%s" % (family, version),
        "supplier": DEBIAN,
        "manufacturer": DEBIAN,
        "name": family,
        "version": version,
        "description": "The Debian release the packages listed come from; no part of install.exe",
        "cpe": "cpe:2.3:o:debian:debian_linux:%s.0:*:*:*:*:*:*:*" % release,
    }


def deb_file_name(package):
    return "%s_%s_%s.deb" % (package, package_field(package, "Version").split(":", 1)[-1],
                             package_field(package, "Architecture"))


def linked_component(package, linked):
    known = TABLE["packages"][package]
    version = package_field(package, "Version")
    purl = package_url(package)
    expression = license_expression(linked)
    component = {
        "type": "library",
        "bom-ref": purl,
        "supplier": DEBIAN,
        "manufacturer": organization(known["creator"]["name"], known["creator"]["url"]),
        "name": package,
        "version": version,
        "description": known["title"],
        "licenses": [{"expression": expression, "acknowledgement": "concluded"}],
    }
    if known["cpe"]:
        component["cpe"] = known["cpe"].format(upstream_version=upstream_version(version))
    component["purl"] = purl
    built_from = ancestors(package)
    if built_from:
        component["pedigree"] = {"ancestors": built_from}
    component["evidence"] = {"occurrences": [
        {"location": path,
         "additionalContext": ("archive members linked: " + ", ".join(members)) if members
                              else "object file linked whole"}
        for path, members in sorted(linked["files"].items())]}
    component["properties"] = bsi_properties(deb_file_name(package), "non-executable",
                                              "archive", "structured", expression) + (
        trivy_properties(package))
    return component


def sbom(version, executable, by_package, source_dir, vendor, tools):
    """The SBOM as text. `vendor` holds the vendor's name, contact and install.exe's license;
    `tools` the Debian packages that built install.exe. Its time is the commit's and its
    serial number a name-based UUID of the rest of it, so the same build of the same commit
    gives the same bytes."""
    commit_time = int(run("git", "-C", source_dir, "log", "-1", "--format=%ct"))
    vendor_entity = organization(vendor["name"], vendor["contact"])
    author = {"name": vendor["name"]}
    if "contact" in vendor_entity:
        author["email"] = vendor["contact"]
    components = [linked_component(package, by_package[package])
                  for package in sorted(by_package)]
    refs = [component["bom-ref"] for component in components]
    system = operating_system()
    name = os.path.basename(executable)
    content = {
        "version": 1,
        "metadata": {
            "timestamp": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(commit_time)),
            "lifecycles": [{"phase": "build"}],
            "tools": {"components": [{
                "type": "application",
                "supplier": vendor_entity,
                "name": "bundle_texts.py",
                "version": version,
                "description": "install.exe's release bundle generator (scripts/bundle/)",
            }]},
            "authors": [author],
            "manufacturer": vendor_entity,
            "supplier": vendor_entity,
            "component": {
                "type": "application",
                "bom-ref": name,
                "supplier": vendor_entity,
                "manufacturer": vendor_entity,
                "name": name,
                "version": version,
                "description": "Runs setup.exe, waits for it and every setup.exe it relaunches, "
                               "and exits with the installation's result",
                "hashes": [{"alg": "SHA-256", "content": file_hash(executable, "sha256")},
                           {"alg": "SHA-512", "content": file_hash(executable, "sha512")}],
                "licenses": [{"expression": vendor["license"], "acknowledgement": "concluded"}],
                "purl": "pkg:generic/%s/%s@%s" % (urllib.parse.quote(vendor["name"]), name,
                                                  version),
                "properties": bsi_properties(name, "executable", "no archive", "unstructured",
                                             vendor["license"]),
            },
        },
        "components": components + [system],
        # The system's packages are those it depends on, as Trivy reads them and writes its own
        # SBOMs; the system has more than these, which its composition says.
        "dependencies": [{"ref": name, "dependsOn": refs}] + [
            {"ref": ref, "dependsOn": []} for ref in refs] + [
            {"ref": system["bom-ref"], "dependsOn": refs}],
        # install.exe's and each package's list of dependencies is whole: the link map is the
        # complete inventory.
        "compositions": [{"aggregate": "complete", "dependencies": [name] + refs},
                         {"aggregate": "incomplete", "dependencies": [system["bom-ref"]]}],
        # What built install.exe, apart from what it holds.
        "formulation": [{"bom-ref": "build", "components": [{
            "type": "application",
            "name": package,
            "version": package_field(package, "Version"),
            "purl": package_url(package),
        } for package in tools]}],
    }
    serial_number = uuid.uuid5(uuid.NAMESPACE_URL, json.dumps(content))
    return json.dumps({"$schema": "http://cyclonedx.org/schema/bom-1.6.schema.json",
                       "bomFormat": "CycloneDX", "specVersion": "1.6",
                       "serialNumber": serial_number.urn, **content}, indent=2) + "\n"
