"""kelvo-desktop read as a screen reader reads it, on Xvfb with the real
accessibility bus: the widget's accessible for each size and in Arabic, its
texts where the window draws them, the hidden decorations left out, and its
action opening the link with the registered handler."""

import datetime
import json
import os
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from atspi_session import Session, do_action, dump, node, wait_for  # noqa: E402

SOURCE = os.environ.get("KELVO_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
ENGLISH = {"LANG": "C.UTF-8"}
ARABIC = {"LANGUAGE": "ar", "LC_ALL": "ar_EG.UTF-8"}
CAR = "Polestar 4 · 2026"

SUMMARY = "64%, 318 km, Charging, Full in 1 hr, 35 min, Updated 5 hr. ago"
# family, locale, the texts in reading order, the description.
CASES = [
    ("small", ENGLISH, ["Polestar 4", "64%", "318 km", "Charging", "5h ago"], SUMMARY),
    ("medium", ENGLISH, [CAR, "64%", "318 km", "Charging", "5h ago"], SUMMARY),
    ("large", ENGLISH, [CAR, "KLV 042", "Charging", "64%", "318 km", "Full in", "1h35m", "Power", "11 kW",
                        "Charger", "Connected", "Odometer", "23,412 km", "Updated", "5 hr. ago"], SUMMARY),
    ("medium", ARABIC, [CAR, "64%", "318 km", "جارٍ الشحن", "قبل ٥ ساعات"],
     "64%، 318 km، جارٍ الشحن، ممتلئة خلال ١ س و٣٥ د، آخر تحديث قبل ٥ ساعات"),
]


def run(argv, env):
    return subprocess.run(argv, env=env, check=True, capture_output=True, text=True).stdout


def rounded(frame):
    """A frame of the tree dump where the window at 30,30 shows it, in whole pixels."""
    return (30 + round(frame["x"]), 30 + round(frame["y"]), round(frame["width"]), round(frame["height"]))


def hidden_frames(tree):
    """The frames of the subtrees that the tree dump marks hidden from accessibility."""
    found = []
    if tree.get("accessibilityHidden"):
        found.append(tree["frame"])
    for child in tree.get("children", []):
        found += hidden_frames(child)
    return found


class DesktopWidget(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = session = Session().__enter__()
        cls.shared = os.path.join(session.root, "shared")
        os.makedirs(cls.shared)
        with open(os.path.join(SOURCE, "resources/sample-snapshot.json")) as sample:
            snapshot = json.load(sample)
        reported = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(hours=5)
        snapshot["carReportedAt"] = snapshot["writtenAt"] = reported.strftime("%Y-%m-%dT%H:%M:%SZ")
        file = os.path.join(session.root, "snapshot.json")
        with open(file, "w") as out:
            json.dump(snapshot, out)
        run(["kelvo", "--shared-dir", cls.shared, "save", file], session.env)
        picture = os.path.join(SOURCE, "resources/sample-car.png")
        run(["kelvo", "--shared-dir", cls.shared, "save-image", picture], session.env)

    @classmethod
    def tearDownClass(cls):
        cls.session.close()

    def test_sizes_and_languages(self):
        opened = register_handler(self.session)
        for family, locale, texts, description in CASES:
            with self.subTest(family=family, locale=locale):
                self.check(self.session, self.shared, opened, family, locale, texts, description)
        # Every click came to one Kelvo window: the first started it, the
        # others were handed to it.
        app = self.session.application("kelvo-app", seconds=20)
        self.addCleanup(os.kill, app.get_process_id(), signal.SIGTERM)
        self.assertEqual([c.getRoleName() for c in app if c is not None], ["frame"])

    def test_config_file_edits_apply_at_once(self):
        # The default desktop.ini a link, in a directory made after the widget started,
        # to a file that is replaced whole, as editors and the Kelvo window do.
        session, link = self.session, os.path.join(self.session.root, "later/kelvo/desktop.ini")
        target = os.path.join(session.root, "settings/desktop.ini")
        os.makedirs(os.path.dirname(target))
        desktop = session.spawn(["kelvo-desktop", "--shared-dir", self.shared, "--appearance", "light",
                                 "--margin", "30"], env={"XDG_CONFIG_HOME": os.path.join(session.root, "later")},
                                log=session.root + "/config.log")
        self.addCleanup(desktop.kill)
        widget = session.find(session.application("kelvo-desktop", desktop.pid), role="push button")

        def extents():
            box = widget.queryComponent().getExtents(0)  # the screen's coordinates
            return (box.x, box.y, box.width, box.height)

        self.assertEqual(extents(), (1024 - 30 - 170, 30, 170, 170))
        malformed = 'desktop.ini:2: family: "huge" is not a size (small, medium, large); keeping the settings in use'

        def logged():
            with open(desktop.log) as log:
                return log.read().count(malformed)

        # What the file says; where the widget is then (x, y, width, height)
        # and how often the malformed file was logged (once, however often saved).
        for text, placed, said in [
            ("[widget]\nfamily=medium\n", (1024 - 30 - 364, 30, 364, 170), 0),
            ("[widget]\nfamily=large\nanchor=bottom-left\nmargin=10\n", (10, 768 - 10 - 382, 364, 382), 0),
            ("[widget]\nfamily=huge\n", (10, 768 - 10 - 382, 364, 382), 1),
            ("[widget]\nfamily=huge\n# again\n", (10, 768 - 10 - 382, 364, 382), 1),
            ("[widget]\nfamily=small\nanchor=bottom-left\nmargin=10\n", (10, 768 - 10 - 170, 170, 170), 1),
        ]:
            with open(target + ".new", "w") as out:
                out.write(text)
            os.replace(target + ".new", target)
            if not os.path.lexists(link):
                os.makedirs(os.path.dirname(link))
                os.symlink(target, link)
            start = time.monotonic()
            shown = wait_for(lambda: extents() == placed and logged() == said and placed, 3)
            print(f"--- {text!r} applied after {time.monotonic() - start:.2f} s", file=sys.stderr)
            self.assertEqual((shown, logged()), (placed, said), text)
            time.sleep(0.4)  # the next edit is one of its own

    def check(self, session, shared, opened, family, locale, texts, description):
        env = {**session.env, **locale}
        tree = json.loads(run(["kelvo-widget", "render", "--format", "json", "--family", family,
                               "--shared-dir", shared, "--appearance", "light"], env))
        desktop = session.spawn(["kelvo-desktop", "--shared-dir", shared, "--family", family, "--appearance",
                                 "light", "--anchor", "top-left", "--margin", "30"], env=locale)
        self.addCleanup(desktop.kill)
        widget = session.find(session.application("kelvo-desktop", desktop.pid), role="push button")
        found = node(widget)
        print(f"--- {family} {locale}\n{dump(widget)}", file=sys.stderr)
        self.assertEqual((found["name"], found["actions"]), ("Kelvo", ["click"]))
        self.assertEqual(found["extents"], (30, 30, tree["size"]["width"], tree["size"]["height"]))
        self.assertEqual([c["text"] for c in found["children"]], texts)
        self.assertEqual(found["description"], description)
        self.assertTrue(all(c["role"] == "label" for c in found["children"]))
        # Each inside the widget where the window draws it; none is a hidden
        # decoration (the bar, the picture); texts on one line read from the
        # leading edge.
        hidden = [rounded(f) for f in hidden_frames(tree["root"])]
        self.assertEqual(len(hidden), {"small": 1, "medium": 2, "large": 2}[family])
        width, height = tree["size"]["width"], tree["size"]["height"]
        leading = -1 if "LANGUAGE" in locale else 1
        for child, after in zip(found["children"], found["children"][1:] + [None]):
            x, y, w, h = child["extents"]
            self.assertTrue(30 <= x and x + w <= 30 + width and 30 <= y and y + h <= 30 + height, child)
            self.assertNotIn(child["extents"], hidden)
            if after and abs(after["extents"][1] + after["extents"][3] / 2 - y - h / 2) < h / 2:
                self.assertGreater((after["extents"][0] - x) * leading, 0, (child, after))
        self.assertTrue(do_action(widget, "click"))
        self.assertTrue(wait_for(lambda: os.path.exists(opened), 10))
        with open(opened) as link:
            self.assertEqual(link.read(), "kelvo://open")
        os.remove(opened)
        desktop.terminate()
        with open(desktop.log) as log:
            self.assertEqual(desktop.wait(10), 0, log.read()[-3000:])


def register_handler(session):
    """A handler for x-scheme-handler/kelvo, as the desktop tests register
    one: a script that writes the URL it was given to a file, returned, and
    hands it to the Kelvo window as the installed entry does."""
    applications = os.path.join(session.env["XDG_DATA_HOME"], "applications")
    os.makedirs(applications)
    os.makedirs(session.env["XDG_CONFIG_HOME"], exist_ok=True)
    opened, script = os.path.join(session.root, "opened"), os.path.join(session.root, "handler.sh")
    with open(script, "w") as out:
        # Written aside and renamed, so the test never reads a file the
        # shell has made but printf has not yet filled.
        out.write(f"#!/bin/sh\nprintf '%s' \"$1\" > '{opened}.new' && mv '{opened}.new' '{opened}'\n"
                  "exec kelvo-app \"$1\"\n")
    os.chmod(script, 0o755)
    with open(os.path.join(applications, "kelvo-test-handler.desktop"), "w") as out:
        out.write("[Desktop Entry]\nType=Application\nName=Kelvo test handler\nExec=" + script +
                  " %u\nMimeType=x-scheme-handler/kelvo;\nNoDisplay=true\n")
    with open(os.path.join(session.env["XDG_CONFIG_HOME"], "mimeapps.list"), "w") as out:
        out.write("[Default Applications]\nx-scheme-handler/kelvo=kelvo-test-handler.desktop\n")
    run(["update-desktop-database", applications], session.env)
    return opened


if __name__ == "__main__":
    unittest.main(verbosity=2, warnings="ignore")
