#!/usr/bin/env python3
"""Writes what the web page loads besides its own files (scripts/web.sh build):

  files.js            the list of the program's and the data's files with their sizes, for the
                      page to load them and count them on its progress bar
  embedded/NAME.js    each of those files again, inside a script: a page opened from the disk
                      (file://) may run scripts beside it but not read files, so that is how it
                      gets them; a page from a web server reads the files themselves

Usage: web-embed.py SITE NAME...   (NAME relative to SITE)
"""
import base64
import json
import os
import sys


def is_text(data):
    # Plain ASCII text stays text, which a zip compresses as well as the file itself; anything
    # else goes in base64.
    return all(byte in (9, 10, 13) or 32 <= byte < 127 for byte in data)


def main():
    site, names = sys.argv[1], sys.argv[2:]
    entries = []
    for name in names:
        with open(os.path.join(site, name), "rb") as file:
            data = file.read()
        entries.append([len(data), name])
        if is_text(data):
            kind, payload = "text", json.dumps(data.decode("ascii"))
        else:
            kind, payload = "base64", '"' + base64.b64encode(data).decode("ascii") + '"'
        script = os.path.join(site, "embedded", name + ".js")
        os.makedirs(os.path.dirname(script), exist_ok=True)
        with open(script, "w") as file:
            file.write("demoEmbedded(%s, %s, %s);\n" % (json.dumps(name), json.dumps(kind), payload))
    with open(os.path.join(site, "files.js"), "w") as file:
        file.write("// The files the page loads: [size in bytes, name].\nvar demoFiles = [\n")
        file.write(",\n".join("    " + json.dumps(entry) for entry in entries))
        file.write("\n];\n")


if __name__ == "__main__":
    main()
