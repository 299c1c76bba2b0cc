"""THIRD-PARTY-NOTICES.txt: the third-party code in install.exe, package by package, with what
the link took from each file and the notice of each license that code is under, followed by
the full text of each license that a notice only points to on a Debian system."""

import os
import textwrap

from linked_code import TABLE, copyright_path, notice, package_field


def third_party_notices(version, by_package):
    title = "Third-party software in install.exe %s" % version
    full_texts = []
    text = [title, "=" * len(title), ""]
    text += textwrap.wrap(
        "install.exe is linked statically. Besides its own code it holds the parts of the "
        "following packages listed below, as the linker's map of this build shows them, and "
        "no other third-party code.", 78)
    for number, package in enumerate(sorted(by_package), 1):
        linked = by_package[package]
        text += ["", "", "%d. %s" % (number, TABLE["packages"][package]["title"]), "",
                 "Debian package: %s %s" % (package, package_field(package, "Version")),
                 "Linked in:"]
        for path, members in sorted(linked["files"].items()):
            name = os.path.basename(path)
            if members:
                text += textwrap.wrap("%s: %s" % (name, ", ".join(members)), 78,
                                      initial_indent="  ", subsequent_indent="    ",
                                      break_on_hyphens=False)
            else:
                text.append("  " + name)
        for key in linked["licenses"]:
            license = TABLE["licenses"][key]
            text += ["", "License: " + license["title"],
                     "Notice, from %s:" % copyright_path(package), ""]
            text += notice(package, key)
            if license.get("full_text"):
                full_texts.append(license["full_text"])
                text += textwrap.wrap(
                    "This notice points to license files of a Debian system; the one it "
                    "refers to, %s, is reproduced at the end of this file." % license["full_text"],
                    78)
    # A reader on Windows has no /usr/share/common-licenses: each text named goes in, once.
    for path in sorted(set(full_texts)):
        with open(path, encoding="utf-8") as file:
            body = file.read().splitlines()
        heading = "Text of %s" % path
        text += ["", "", heading, "=" * len(heading), ""] + body
    return "\n".join(text).rstrip("\n") + "\n"
