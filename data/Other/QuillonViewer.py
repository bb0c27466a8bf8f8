#!/usr/bin/env python3
"""Shows the pictures of a Quillon Backup image: writes them as JPEG files, by entry and camera,
into a folder of their own with a page (index.html) to look through them. The image itself is
only read."""
import html
import os
import sqlite3
import sys
import time


def minutes(day_folder):
    for name in sorted(os.listdir(day_folder)):
        if name.upper().endswith("N.IDX"):
            yield os.path.join(day_folder, name), os.path.join(day_folder, name[:-4] + ".dat")


def export_entry(entry_folder, out_folder):
    rows = []
    for day in sorted(os.listdir(entry_folder)):
        day_folder = os.path.join(entry_folder, day)
        if not os.path.isdir(day_folder):
            continue
        for idx, dat in minutes(day_folder):
            if not os.path.exists(dat):
                continue
            db = sqlite3.connect("file:%s?mode=ro" % idx, uri=True)
            try:
                found = db.execute("select camnum, rectime, imgposition, imgsize "
                                   "from indextable order by imgposition").fetchall()
            except sqlite3.DatabaseError as e:
                print("skipped %s: %s" % (idx, e), file=sys.stderr)
                continue
            finally:
                db.close()
            with open(dat, "rb") as data:
                for n, (cam, rectime, pos, size) in enumerate(found):
                    data.seek(pos)
                    picture = data.read(size)
                    stamp = time.strftime("%Y%m%d_%H%M%S", time.gmtime(rectime))
                    rel = os.path.join("cam%02d" % (cam + 1), "%s_%05d.jpg" % (stamp, n))
                    os.makedirs(os.path.join(out_folder, os.path.dirname(rel)), exist_ok=True)
                    with open(os.path.join(out_folder, rel), "wb") as out:
                        out.write(picture)
                    rows.append((cam + 1, stamp, rel))
    return rows


def main():
    if len(sys.argv) != 2:
        print("usage: QuillonViewer.py IMAGE-FOLDER", file=sys.stderr)
        return 2
    image = sys.argv[1]
    out_root = os.path.join(os.getcwd(), "QuillonPictures")
    page = ["<!doctype html><meta charset=utf-8><title>Quillon Backup</title>"]
    for entry in sorted(os.listdir(image)):
        entry_folder = os.path.join(image, entry)
        if not os.path.isdir(entry_folder) or "=" not in entry:
            continue
        rows = export_entry(entry_folder, os.path.join(out_root, entry))
        page.append("<h2>%s</h2><p>%d pictures</p>" % (html.escape(entry), len(rows)))
        for cam, stamp, rel in rows[:: max(1, len(rows) // 200)]:
            src = html.escape(os.path.join(entry, rel))
            page.append('<figure style="display:inline-block"><img src="%s">'
                        "<figcaption>camera %02d %s</figcaption></figure>" % (src, cam, stamp))
        print("%s: %d pictures" % (entry, len(rows)))
    os.makedirs(out_root, exist_ok=True)
    with open(os.path.join(out_root, "index.html"), "w", encoding="utf-8") as f:
        f.write("\n".join(page))
    print("open %s" % os.path.join(out_root, "index.html"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
