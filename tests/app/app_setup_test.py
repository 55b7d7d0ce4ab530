"""kelvo-app as a screen reader user meets it: on a private AT-SPI session,
against a real Mosquitto that wants a password and holds retained TeslaMate
and evcc topics for two cars each."""

import os
import socket
import stat
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.environ["KELVO_SOURCE_DIR"], "tests", "a11y"))
import atspi_session  # noqa: E402
from atspi_session import Session, do_action, wait_for  # noqa: E402

CARS = {
    "teslamate/cars/1/display_name": "Model 3", "teslamate/cars/1/battery_level": "64",
    "teslamate/cars/2/display_name": "Model Y", "teslamate/cars/2/battery_level": "81",
    "evcc/loadpoints/1/vehicleTitle": "ID.4", "evcc/loadpoints/1/vehicleSoc": "55",
    "evcc/loadpoints/2/vehicleTitle": "e-Golf", "evcc/loadpoints/2/vehicleSoc": "23",
    "evcc/loadpoints/2/vehicleRange": "140", "evcc/loadpoints/2/charging": "true",
}


class Broker:
    """Mosquitto on a free loopback port; only "kelvo" with `password` gets in."""

    def __init__(self, root, password):
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            self.port = probe.getsockname()[1]
        self.password, passwords = password, os.path.join(root, "passwords")
        subprocess.run(["mosquitto_passwd", "-b", "-c", passwords, "kelvo", password], check=True)
        os.chmod(passwords, 0o600)
        config = os.path.join(root, "mosquitto.conf")
        with open(config, "w") as out:
            out.write(f"user root\nlistener {self.port} 127.0.0.1\nallow_anonymous false\npassword_file {passwords}\n")
        self.process = subprocess.Popen(["/usr/sbin/mosquitto", "-c", config], stderr=subprocess.DEVNULL)
        wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", self.port)) == 0, 5)

    def publish(self, messages):
        for topic, payload in messages.items():
            subprocess.run(["mosquitto_pub", "-p", str(self.port), "-u", "kelvo", "-P", self.password,
                            "-q", "1", "-r", "-t", topic, "-m", payload], check=True)


class AppSetup(unittest.TestCase):
    def test_sign_in_pick_a_car_save_and_see_it(self):
        with Session(env={"GSK_RENDERER": "cairo"}) as session:
            broker = Broker(session.root, "s3cret")
            self.addCleanup(broker.process.terminate)
            broker.publish(CARS)
            window = session.spawn(["kelvo-app", "kelvo://open"])
            app = session.application("kelvo-app", window.pid, seconds=20)
            find = lambda **wanted: session.find(app, **wanted)  # noqa: E731

            def fill(name, text):
                field = find(role="password text" if name == "Password" else "text", name=name)
                field.queryEditableText().setTextContents(text)

            def shown(text):
                return wait_for(lambda: any(acc.name == text or _text(acc) == text
                                            for acc in _all(app, "label")), 15)

            # kelvo://open with nothing set up opens the form; a second launch only presents it.
            fill("Broker", f"mqtt://127.0.0.1:{broker.port}")
            self.assertEqual(subprocess.run(["kelvo-app", "kelvo://open"], env=session.env, timeout=20).returncode, 0)
            self.assertEqual(len([a for a in _all(app, "frame")]), 1)

            # Wrong password: one sentence beside the password field, bound to it.
            fill("User name", "kelvo")
            fill("Password", "wrong")
            do_action(find(role="push button", name="Connect"), "click")
            sentence = "The broker refused this user name or password."
            self.assertTrue(shown(sentence), "no error sentence")
            password = find(role="password text", name="Password")
            described = [r.getTarget(0) for r in password.getRelationSet()
                         if r.getRelationType() == atspi_session.pyatspi.RELATION_DESCRIBED_BY]
            self.assertEqual([(t.clear_cache(), t.name)[1] for t in described], [sentence])

            # The right one: the four cars, named with their batteries; pick evcc's second.
            fill("Password", "s3cret")
            do_action(find(role="push button", name="Connect"), "click")
            cars = find(role="list", name="Cars", seconds=15)
            names = wait_for(lambda: [(c.clear_cache(), c.name)[1] for c in _all(cars, "list item")], 15)
            self.assertEqual(names, ["Model 3 — 64 % (TeslaMate, teslamate/cars/1)",
                                     "Model Y — 81 % (TeslaMate, teslamate/cars/2)",
                                     "ID.4 — 55 % (evcc, evcc/loadpoints/1)", "e-Golf — 23 % (evcc, evcc/loadpoints/2)"])
            cars.querySelection().selectChild(3)
            do_action(find(role="push button", name="Save"), "click")
            saved = "Saved. Start the feed and the widget yourself: kelvo-feed & kelvo-desktop &"
            self.assertTrue(shown(saved), open(os.path.join(session.root, "kelvo-app.log")).read())

            config = os.path.join(session.env["XDG_CONFIG_HOME"], "kelvo")
            for name in ("feed.ini", "mqtt-password"):
                self.assertEqual(stat.S_IMODE(os.stat(os.path.join(config, name)).st_mode), 0o600, name)
            with open(os.path.join(config, "feed.ini")) as ini:
                text = ini.read()
            self.assertNotIn("s3cret", text)
            for line in ("preset = evcc", "car = 2", "username = kelvo", f"url = mqtt://127.0.0.1:{broker.port}"):
                self.assertIn(line, text)

            # Doing what it says: the window shows the car the feed writes, and the feed's health.
            session.spawn(["kelvo-feed"])
            health = lambda: [l.name for l in _all(app, "label") if "kelvo-feed is running" in l.name]  # noqa: E731
            self.assertTrue(wait_for(health, 15), [l.name for l in _all(app, "label")])
            self.assertIn("kelvo-feed is running and connected.\nLast message: ", health()[0])
            summary = lambda: [i.name for i in _all(app, "image") if i.name.startswith("e-Golf")]  # noqa: E731
            self.assertTrue(wait_for(summary, 10), [i.name for i in _all(app, "image")])
            self.assertRegex(summary()[0], r"^e-Golf: 23%, 140 km, Charging, Updated \S+")


def _all(root, role):
    """Every accessible under `root` with `role`; children that vanish while walking are passed over."""
    root.clear_cache()
    found, stack = [], [root]
    while stack:
        acc = stack.pop(0)
        if acc is not None:
            found += [acc] if acc.getRoleName() == role else []
            stack += [acc.getChildAtIndex(i) for i in range(acc.childCount)]
    return found


def _text(acc):
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return None


if __name__ == "__main__":
    unittest.main()
