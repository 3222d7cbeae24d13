#!/usr/bin/env python3
"""Fills the unfinished entries of a Linguist file from the English their developers wrote above
them ("//: English: ..." beside tr()), after `cmake --build --preset default --target
update_translations` has gathered new texts. Entries without such a comment stay unfinished for
Qt Linguist. Usage: translations/fill_from_comments.py [translations/vessaro_en.ts]"""
import re
import sys


def fill(message):
    body = message.group(0)
    comment = re.search(r"<extracomment>English: (.*?)</extracomment>", body, re.S)
    if 'type="unfinished"' not in body or not comment:
        return body
    return re.sub(r'<translation type="unfinished"\s*(?:/>|>.*?</translation>)',
                  lambda _: "<translation>" + comment.group(1) + "</translation>", body,
                  flags=re.S)


def main(path):
    with open(path, encoding="utf-8") as file:
        xml = file.read()
    xml = re.sub(r"<message>.*?</message>", fill, xml, flags=re.S)
    with open(path, "w", encoding="utf-8") as file:
        file.write(xml)
    left = xml.count('type="unfinished"')
    print(f"{path}: {left} unfinished")
    return 1 if left else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "translations/vessaro_en.ts"))
