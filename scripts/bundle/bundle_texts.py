#!/usr/bin/env python3
"""Writes the texts that go into the release bundle beside install.exe:

  THIRD-PARTY-NOTICES.txt  the third-party code that the link put into install.exe, read from
                           the linker's map, with the notice each license asks for, taken
                           from the owning Debian package's copyright file (notices.py)
  BUILDINFO.txt            the source commit, the Debian packages that built these bytes and
                           the SHA-256 of the reproducible (unsigned) build
  DEPLOYMENT.txt           the deployment guide, docs/deployment.md as it stands
  SBOM.cdx.json            a CycloneDX 1.6 software bill of materials of install.exe and the
                           same third-party code as the notices (sbom.py)
  SHA256SUMS               the SHA-256 of everything else in the bundle

The .txt files end their lines with CR LF, for Windows readers such as Notepad; SHA256SUMS keeps
LF, the line end sha256sum -c reads, and so does the SBOM, which is for programs.

Any linked file or archive member that linked_code.json does not know, and any notice excerpt
that cannot be found, stops the script: the notices are complete or there are none.
"""

import argparse
import os

from linked_code import fail, linked_packages, package_field, run
from notices import third_party_notices
from sbom import file_hash, sbom

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
BUILD_TOOLS = [package for package, tool in BUILD_PACKAGES if tool]

SBOM_NAME = "SBOM.cdx.json"


def sha256(path):
    return file_hash(path, "sha256")


def signing_record(path):
    """sign.cmake's record of the signature: name=value lines."""
    with open(path, encoding="utf-8") as file:
        return dict(line.rstrip("\n").split("=", 1) for line in file if "=" in line)


def build_info(version, source_dir, executable, unsigned_sha256_file, signing_record_file):
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
        record = signing_record(signing_record_file)
        signed = sha256(executable)
        # The bundle's hashes are taken from this file: it must be the one signed and checked.
        if record.get("signed_sha256") != signed or record.get("unsigned_sha256") != unsigned:
            fail("%s is not the file that signing recorded; build it again" % executable)
        signer = [("Subject", record["subject"]), ("Issuer", record["issuer"]),
                  ("Serial number", record["serial"]),
                  ("SHA-256 thumbprint", record["thumbprint_sha256"]),
                  ("Valid until", record["not_after"])]
        if record["timestamp_time"] == "none":
            signer.append(("Timestamp", "NONE. The signature ends when the certificate "
                                        "expires, on %s." % record["not_after"]))
        else:
            signer += [("Timestamp", record["timestamp_time"]),
                       ("Timestamp authority", record["timestamp_authority"])]
        text += ["SHA-256 of the unsigned build (reproducible): " + unsigned,
                 "SHA-256 of the signed install.exe in this bundle: " + signed,
                 "",
                 "Signed with Authenticode (SHA-256) by:"]
        text += ["  %-20s %s" % (label + ":", value) for label, value in signer]
        text += ["",
                 "A signature carries its signing time: a rebuild matches the unsigned hash.",
                 "The signed file is that build plus a signature; with osslsigncode:",
                 "  osslsigncode verify -in install.exe",
                 "  osslsigncode remove-signature -in install.exe -out unsigned.exe",
                 "  sha256sum unsigned.exe   (prints the unsigned hash above)"]
    else:
        text.append("SHA-256 of install.exe (reproducible): " + sha256(executable))
    text += ["", "To rebuild on %s with the same package versions and compare:" % debian,
             "  git checkout " + commit, "  scripts/build.sh", "  sha256sum build/install.exe"]
    return "\n".join(text) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--version", required=True)
    parser.add_argument("--executable", required=True)
    parser.add_argument("--link-map", required=True)
    parser.add_argument("--deployment-guide", required=True)
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--vendor", required=True, help="the vendor's name")
    parser.add_argument("--vendor-contact", required=True,
                        help="the vendor's e-mail address or http(s) URL")
    parser.add_argument("--license", required=True, help="install.exe's SPDX license expression")
    parser.add_argument("--unsigned-sha256-file",
                        help="the unsigned build's hash, when install.exe is signed")
    parser.add_argument("--signing-record",
                        help="sign.cmake's record of the signature, when install.exe is signed")
    parser.add_argument("--output-dir", required=True)
    arguments = parser.parse_args()

    by_package = linked_packages(arguments.link_map)
    vendor = {"name": arguments.vendor, "contact": arguments.vendor_contact,
              "license": arguments.license}
    texts = {
        "THIRD-PARTY-NOTICES.txt": third_party_notices(arguments.version, by_package),
        "BUILDINFO.txt": build_info(arguments.version, arguments.source_dir,
                                    arguments.executable, arguments.unsigned_sha256_file,
                                    arguments.signing_record),
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
                        arguments.source_dir, vendor, BUILD_TOOLS))
    sums = {name: sha256(os.path.join(arguments.output_dir, name))
            for name in [*texts, SBOM_NAME]}
    sums[os.path.basename(arguments.executable)] = sha256(arguments.executable)
    with open(os.path.join(arguments.output_dir, "SHA256SUMS"), "w", encoding="ascii",
              newline="\n") as file:
        file.writelines("%s  %s\n" % (sums[name], name) for name in sorted(sums))


if __name__ == "__main__":
    main()
