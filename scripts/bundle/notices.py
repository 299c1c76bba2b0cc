"""THIRD-PARTY-NOTICES.txt: the third-party code in install.exe, package by package, with what
the link took from each file and the notice of each license that code is under."""

import os
import textwrap

from linked_code import TABLE, copyright_path, notice, package_field


def third_party_notices(version, by_package):
    title = "Third-party software in install.exe %s" % version
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
            text += ["", "License: " + TABLE["licenses"][key]["title"],
                     "Notice, from %s:" % copyright_path(package), ""]
            text += notice(package, key)
    return "\n".join(text).rstrip("\n") + "\n"
